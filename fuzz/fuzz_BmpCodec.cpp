// The toolkit's codec on any bytes: the file reader and the memory decoder
// accept and refuse the same inputs and give the same bitmaps.
#include <cstdlib>
#include <cstring>

#include "MemoryFile.h"
#include "untBitmap.h"
#include "untBmpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBitmap fromMemory;
    std::string reason;
    const bool decoded = TBmpCodec::Decode(data, size, fromMemory, &reason);
    TMemoryFile file(data, size);
    TBitmap fromFile;
    bool loaded = true;
    try {
        fromFile.LoadFromFile(file.Path());
    } catch (const EBitmapError&) {
        loaded = false;
    }
    if (decoded != loaded) std::abort();
    if (!decoded) return 0;
    if (fromMemory.Width() != fromFile.Width() || fromMemory.Height() != fromFile.Height() ||
        fromMemory.PixelFormat() != fromFile.PixelFormat() || fromMemory.Palette().size() != fromFile.Palette().size())
        std::abort();
    for (int y = 0; y < fromMemory.Height(); ++y)
        if (std::memcmp(fromMemory.ScanLine(y), fromFile.ScanLine(y), fromMemory.RowBytes()) != 0) std::abort();
    // What was read can be written again.
    (void)TBmpCodec::Encode(fromMemory);
    return 0;
}
