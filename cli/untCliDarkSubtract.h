// velmora-cli dark-subtract: the five items of "Dark Subtract" without the
// window, one mode each.
#pragma once

#include "untCliArgs.h"

TCliCommand CliDarkSubtract();
