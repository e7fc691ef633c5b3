// The batch that "New Normal", "New Map" (Dark Subtract) and "Flat Field"
// share: a reference frame, a per-byte map made from it once, then every
// light frame corrected by that map and written over its own file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "untBmpUtil.h"
#include "untMainState.h"
#include "untUiPort.h"

// A per-byte map made from the reference, or the reason it was refused.
struct TPreparedMap {
    std::unique_ptr<double[]> map;  // null with no refusal: out of memory
    std::string refusal;
};

// What sets one reference correction apart from the others.
struct TReferenceCorrection {
    std::string referenceTitle;
    std::string statusPrefix;
    std::string referenceName;  // how a refusal names the reference
    std::function<TPreparedMap(const BmpRecord&)> prepare;
    // Corrects a frame in place; BMP_NO_MEMORY ends the command.
    std::function<uint32_t(BmpRecord&, const double*)> apply;
};

// Frames of another width, height or depth than the reference's are
// reported and left as they are; every output carries a grey palette.
void CorrectWithReference(TMainState& state, TUiPort& port, const TReferenceCorrection& c);
