// velmora-cli process: File / "Process" without the windows.
#pragma once

#include <string>
#include <vector>

#include "untCliArgs.h"
#include "untPostOps.h"

TCliCommand ProcessCommand();

// The operations of a process command line, in the order given; throws
// ECliUsage for a value that is malformed or outside its dialog's range.
std::vector<TPostOperation> ParsePostOperations(const std::vector<std::pair<std::string, std::string>>& sequence);
