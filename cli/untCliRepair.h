// velmora-cli strip-top-bottom, strip-sides, vertical-bars and fix-edges:
// strip and edge repair without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliStripTopAndBottom();
TCliCommand CliStripSides();
TCliCommand CliVerticalBars();
TCliCommand CliFixEdges();
