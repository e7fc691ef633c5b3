// velmora-cli flat-field: "Flat Field" without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliFlatField();
