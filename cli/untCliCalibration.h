// The calibration commands of velmora-cli, one factory each.
#pragma once

#include "untCliArgs.h"

TCliCommand CreateFlatCommand();
TCliCommand DarkSubtractCommand();
TCliCommand FlatFieldCommand();
TCliCommand PrescaleCommand();
TCliCommand FindHighLowCommand();
