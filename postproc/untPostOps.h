// One post-processing operation as the dialogs run it: the picture expanded
// to 24 bits (the work bitmap), the kernel run into a result bitmap, and the
// result drawn back into the picture's own format. The window and
// velmora-cli share it, so both give the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "untBitmap.h"

// What each dialog's spinners hold.
struct THistogramParms {
    int32_t low = 0, high = 0;
};
struct TDDPParms {
    int32_t low = 0, high = 0, fuzz = 0;
};
struct TUnsharpMaskParms {
    int32_t aperture = 0, intensity = 0;
};
using TPostOperation = std::variant<THistogramParms, TDDPParms, TUnsharpMaskParms>;

// A 24-bit bitmap of source's size with source drawn onto it at (0, 0).
TBitmap MakeWorkBitmap(const TBitmap& source);

// Runs the operation's kernel from work into result (both 24-bit, same size).
// The histogram's low and high are bytes: values outside 0..255 are held at
// the nearer end.
void RunPostOperation(const TPostOperation& op, const TBitmap& work, TBitmap& result);

// "Calculate" then "Ok": work and result made from picture, the kernel run,
// and result drawn onto picture at (0, 0).
void ApplyPostOperation(TBitmap& picture, const TPostOperation& op);

// The preview rectangle of a W x H picture: W and H divided by the smallest
// k >= 1 that brings the width to 320 or less (right and bottom inclusive).
TRect PreviewRect(int width, int height);
