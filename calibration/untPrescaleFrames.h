// "Prescale": brightening frames by a factor (automatic over all frames,
// automatic per frame, or typed), and "Wide" / "Smart Wide" contrast
// stretches from the background level.
#pragma once

#include <cstddef>
#include <string>

#include "untMainState.h"
#include "untUiPort.h"

enum TPrescaleMode : int { psPerFile = 1, psGlobal = 2, psManual = 3 };

// Global and PerFile work their factors out from the frames and ignore the
// one passed; Manual uses it as given.
void PrescaleFrames(TMainState& state, TUiPort& port, TPrescaleMode mode, double factor);
// "Manual": asks for the factor in the prescale dialog first.
void RunPrescaleManual(TMainState& state, TUiPort& port);
void RunPrescaleWide(TMainState& state, TUiPort& port);       // "Wide"
void RunPrescaleSmartWide(TMainState& state, TUiPort& port);  // "Smart Wide"

// The number at the start of text: leading blanks, an optional sign, digits
// with an optional decimal point, an optional exponent; always with "." as
// the point, whatever the locale. Returns how many characters it took (0:
// the text does not start with a number, and *value is left alone). A
// number too large for a double reads as infinity, one too small as 0.
size_t ReadLeadingNumber(const std::string& text, double* value);
