// The conversion commands of velmora-cli: to-fits, to-grayscale, rename.
#pragma once

#include "untCliArgs.h"

TCliCommand ToFitsCliCommand();
TCliCommand ToGrayscaleCliCommand();
TCliCommand RenameCliCommand();
