// The commands of velmora-cli and its entry point.
#pragma once

#include <vector>

#include "untCliArgs.h"

const std::vector<TCliCommand>& CliCommands();

// Exit status: 0 every file done, 1 a file failed or the command was
// refused, 2 a usage error.
int VelmoraCliMain(int argc, char** argv);
