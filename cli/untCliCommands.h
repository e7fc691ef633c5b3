// The commands of velmora-cli and its entry point.
#pragma once

#include <vector>

#include "untCliArgs.h"

const std::vector<TCliCommand>& CliCommands();

// Exit status: 0 every file done, 1 a file failed or the command was
// refused, 2 a usage error, 128 + the signal's number after an interrupt.
int VelmoraCliMain(int argc, char** argv);

// The program's own handling of signals, set up before any other thread
// starts: a write over the file-size limit fails with an error instead of
// ending the program; the first interrupt (SIGINT, SIGTERM) stops the batch
// once the file in hand is done, a second ends the program at once, leaving
// no temporary file behind.
void WatchSignals();
