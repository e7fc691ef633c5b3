// velmora-cli create-median: "Create Median" without the window.
#pragma once

#include "untCliArgs.h"

TCliCommand CliCreateMedian();
