// The frame-record reader on any bytes: a status, never a crash or a read
// outside the file's buffers.
#include <cstdlib>

#include "MemoryFile.h"
#include "untBmpUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryFile file(data, size);
    BmpRecord record;
    record.fileName = file.Path();
    if (ReadBmpFile(&record) == BMP_NO_ERROR) {
        // Every pixel the header promises must be there to be read.
        const auto* info = record.infoHeader;
        const size_t bytes = static_cast<size_t>(info->biWidth) * static_cast<size_t>(info->biHeight) *
                             (info->biBitCount == 24 ? 3 : 1);
        unsigned sum = 0;
        for (size_t i = 0; i < bytes; ++i) sum += record.pixels[i];
        if (sum == 0xFFFFFFFFu) std::abort();
    }
    FreeBmpBuffers(record);
    return 0;
}
