// velmora-cli erode: "Erode" without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliErode();
