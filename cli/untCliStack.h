// velmora-cli stack: the align window's run without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliStack();
