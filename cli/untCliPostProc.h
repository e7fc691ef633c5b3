// velmora-cli process: File / "Process" without the windows, its operations
// run as the dialogs run them.
#pragma once

#include "untCliArgs.h"

TCliCommand CliProcess();
