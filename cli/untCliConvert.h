// velmora-cli to-fits and to-grayscale: the batch conversions without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliToFits();
TCliCommand CliToGrayscale();
