// velmora-cli find-high-low: "Find High and Low" without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliFindHighAndLow();
