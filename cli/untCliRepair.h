// The frame-repair commands of velmora-cli, one factory each.
#pragma once

#include "untCliArgs.h"

TCliCommand ResizeCommand();
TCliCommand ErodeCommand();
TCliCommand StripTopBottomCommand();
TCliCommand StripSidesCommand();
TCliCommand VerticalBarsCommand();
TCliCommand FixEdgesCommand();
