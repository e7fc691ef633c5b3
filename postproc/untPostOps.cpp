#include "untPostOps.h"

#include <algorithm>
#include <utility>

#include "untImgProc.h"

namespace {

// The dialogs' spinners hold 0..255 and velmora-cli checks its values, so a
// value outside a byte is a caller's slip: it is held at the nearer end
// rather than wrapped, so 256 does not quietly become 0.
uint8_t ByteOf(int32_t v) { return static_cast<uint8_t>(std::clamp<int32_t>(v, 0, 255)); }

}  // namespace

TBitmap MakeWorkBitmap(const TBitmap& source) {
    TBitmap work(source.Width(), source.Height(), pf24bit);
    work.Draw(0, 0, source);
    return work;
}

void RunPostOperation(const TPostOperation& op, const TBitmap& work, TBitmap& result) {
    if (const auto* h = std::get_if<THistogramParms>(&op))
        ModifyHistogram(work, result, ByteOf(h->low), ByteOf(h->high));
    else if (const auto* d = std::get_if<TDDPParms>(&op))
        ApplyDDP(&work, result, d->fuzz, d->low, d->high);
    else if (const auto* u = std::get_if<TUnsharpMaskParms>(&op))
        ApplyUnsharpMask(&work, result, u->aperture, u->intensity);
}

void ApplyPostOperation(TBitmap& picture, const TPostOperation& op) {
    if (picture.PixelFormat() == pf24bit) {
        // The work bitmap of a 24-bit picture would be an exact copy of it,
        // and drawing the result back a plain copy: the picture itself is the
        // work bitmap and the result replaces it.
        TBitmap result(picture);
        RunPostOperation(op, picture, result);
        picture = std::move(result);
        return;
    }
    const TBitmap work = MakeWorkBitmap(picture);
    TBitmap result(work);  // what MakeWorkBitmap(picture) would make again
    RunPostOperation(op, work, result);
    picture.Draw(0, 0, result);
}

TRect PreviewRect(int width, int height) {
    int k = 1, w = 0, h = 0;
    do {
        w = width / k;
        h = height / k;
        ++k;
    } while (w > 320);
    return TRect{0, 0, w - 1, h - 1};
}
