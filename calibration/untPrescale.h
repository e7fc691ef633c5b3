// "Prescale": brightening frames by a factor (automatic over all frames,
// automatic per frame, or typed), and "Wide" / "Smart Wide" contrast
// stretches from the background level.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

enum TPrescaleMode : int { psGlobal = 0, psPerFile = 1, psManual = 2 };

void PrescaleFrames(TMainState& state, TUiPort& port, TPrescaleMode mode, double factor);
// "Manual": asks for the factor in the prescale dialog first.
void ManualPrescale(TMainState& state, TUiPort& port);
void WidePrescale(TMainState& state, TUiPort& port);       // "Wide"
void SmartWidePrescale(TMainState& state, TUiPort& port);  // "Smart Wide"
