// velmora-cli rename: "Rename" without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliRename();
