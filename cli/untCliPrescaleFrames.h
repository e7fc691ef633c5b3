// velmora-cli prescale: the five items of "Prescale" without the window,
// one mode each.
#pragma once

#include "untCliArgs.h"

TCliCommand CliPrescale();
