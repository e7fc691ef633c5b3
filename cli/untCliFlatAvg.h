// velmora-cli create-flat: "Create Flat (Avg)" without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliCreateFlatAvg();
