#include "untBmpFormat.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

void FillGreyRamp(RGBQUAD* palette, int entries) {
    entries = std::clamp(entries, 0, 256);
    for (int i = 0; i < entries; ++i) {
        // Rounded to the nearest grey, so a 16-entry ramp runs 0, 17, ..., 255.
        const auto g = static_cast<uint8_t>(entries == 1 ? 0 : (i * 255 + (entries - 1) / 2) / (entries - 1));
        palette[i] = RGBQUAD{g, g, g, 0};
    }
}

std::vector<RGBQUAD> GreyRamp(int entries) {
    std::vector<RGBQUAD> ramp(static_cast<size_t>(std::clamp(entries, 0, 256)));
    FillGreyRamp(ramp.data(), static_cast<int>(ramp.size()));
    return ramp;
}

bool ReadAt(int fd, void* buffer, size_t size, uint64_t offset, size_t* got) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            *got = done;
            return false;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    *got = done;
    return true;
}
