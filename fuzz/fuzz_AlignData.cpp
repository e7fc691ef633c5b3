// The alignment state reader on any bytes: used whole or not at all.
#include <cstdlib>
#include <vector>

#include "untAlignModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFrameTable frames;
    int count = -1;
    const bool used = DecodeAlignData(std::vector<uint8_t>(data, data + size), frames, &count);
    if (count < 0 || count > kMaxFrames || (!used && count != 0)) std::abort();
    for (int i = 0; i < count; ++i)
        if (frames[static_cast<size_t>(i)].fileName.size() >= static_cast<size_t>(kFileNameBytes)) std::abort();
    // A table that was read is written back byte for byte in its counted records.
    if (used && EncodeAlignData(frames, count).size() != 4 + static_cast<size_t>(count) * kAlignRecordBytes) std::abort();
    return 0;
}
