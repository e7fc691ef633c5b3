// velmora-cli resize: "Resize Frames" without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliResizeFrames();
