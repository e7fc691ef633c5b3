// The codec, and the file half of TBitmap (LoadFromFile, SaveToFile): they
// share the header reading below, which stays private to this unit.
#include "untBmpCodec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include "untBmpFormat.h"
#include "untSafeFile.h"

namespace {

// Written into every file: 2835 pixels per metre is 72 dots per inch, the
// value the classic tools write; nothing in this program reads it back.
constexpr int32_t kPelsPerMeter = 2835;

// The largest header plus palette this codec reads: a 124-byte header and
// 256 four-byte entries after the 14-byte file header all lie inside it.
constexpr size_t kHeadBytes = 4096;

// What the headers say, once every claim has been checked against the data.
struct TLayout {
    int width = 0;
    int height = 0;
    int bits = 0;
    bool topDown = false;
    uint64_t offset = 0;    // of the pixel array, from the start of the file
    uint64_t rowBytes = 0;  // unpadded
    uint64_t stride = 0;    // padded to four bytes, as stored
    std::vector<RGBQUAD> palette;
};

TPixelFormat FormatOfBits(int bits) {
    switch (bits) {
        case 1: return pf1bit;
        case 4: return pf4bit;
        case 8: return pf8bit;
        default: return pf24bit;
    }
}

std::string CompressionName(uint32_t compression, bool os2) {
    switch (compression) {
        case 1: return "RLE8";
        case 2: return "RLE4";
        case 3: return "Huffman";  // bit fields, its Windows meaning, are refused before this
        case 4: return os2 ? "RLE24" : "JPEG";
        case 5: return "PNG";
        case 11: return "CMYK";
        case 12: return "CMYK RLE8";
        case 13: return "CMYK RLE4";
        default: return "method " + std::to_string(compression);
    }
}

// Reads the headers and palette from head (the first headLen bytes of a file
// of fileSize bytes) and checks every size they claim against fileSize.
// On failure *why is the rest of a sentence whose subject is the file.
bool ParseLayout(const uint8_t* head, size_t headLen, uint64_t fileSize, TLayout& out, std::string* why) {
    auto fail = [&](std::string text) {
        *why = std::move(text);
        return false;
    };
    if (headLen < 2 || head[0] != 'B' || head[1] != 'M') return fail("is not a bitmap file");
    if (headLen < 18) return fail("is cut short: it ends inside its header");
    const uint32_t infoSize = GetLE32(head + 14);
    // 12: OS/2 version 1; 16 to 64: OS/2 version 2, which may stop after any
    // field (Windows' 40, 52 and 56 fall in that range too); 108 and 124:
    // Windows versions 4 and 5.
    if (!(infoSize == 12 || (infoSize >= 16 && infoSize <= 64) || infoSize == 108 || infoSize == 124))
        return fail("has an information header of " + std::to_string(infoSize) +
                    " bytes, which no version of the bitmap format uses");
    if (headLen < 14 + uint64_t{infoSize}) return fail("is cut short: it ends inside its header");
    const bool os2v2 = infoSize > 40 && infoSize <= 64 && infoSize != 52 && infoSize != 56;

    int64_t width, height;
    unsigned planes, bits;
    uint32_t compression = 0, colorsUsed = 0;
    size_t entrySize = 4;
    if (infoSize == 12) {
        width = GetLE16(head + 18);
        height = GetLE16(head + 20);
        planes = GetLE16(head + 22);
        bits = GetLE16(head + 24);
        entrySize = 3;
    } else {
        // Fields an OS/2 version 2 header leaves out count as zero.
        uint8_t info[40] = {};
        std::memcpy(info, head + 14, std::min<size_t>(infoSize, sizeof info));
        width = static_cast<int32_t>(GetLE32(info + 4));
        height = static_cast<int32_t>(GetLE32(info + 8));
        planes = GetLE16(info + 12);
        bits = GetLE16(info + 14);
        compression = GetLE32(info + 16);
        colorsUsed = GetLE32(info + 32);
    }

    if (planes != 1)
        return fail("is damaged: it claims " + std::to_string(planes) + " colour planes where a bitmap has 1");
    const bool embedded = bits == 0 && (compression == 4 || compression == 5);  // a JPEG or PNG inside
    if (!embedded && bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return fail("uses " + std::to_string(bits) + " bits per pixel; only 1, 4, 8 and 24 can be read");
    if (compression != 0) {
        if ((compression == 3 || compression == 6) && !os2v2)
            return fail("stores its colours through bit-field masks; only plain uncompressed bitmaps can be read");
        return fail("is compressed (" + CompressionName(compression, os2v2) +
                    "); only uncompressed bitmaps can be read");
    }
    if (width <= 0) return fail("is damaged: it claims a width of " + std::to_string(width) + " pixels");
    if (height == 0) return fail("is damaged: it claims a height of 0 pixels");
    const bool topDown = height < 0;
    if (topDown) height = -height;  // int64: even INT32_MIN turns positive
    if (height > INT32_MAX) return fail("is damaged: it claims a height of " + std::to_string(height) + " pixels");

    const uint64_t rowBytes = BmpRowBytes(static_cast<uint64_t>(width), bits);
    const uint64_t stride = BmpStride(rowBytes);
    const uint64_t offset = GetLE32(head + 10);
    const uint64_t paletteStart = 14 + uint64_t{infoSize};
    if (offset < paletteStart) return fail("is damaged: its pixel data would begin inside its header");

    size_t entries = 0;
    if (bits <= 8) {
        // No count (0, or a header without the field) means a full palette;
        // writers that stored fewer entries said so only through the pixel
        // offset, so take what fits there. A count the header does state must
        // fit, and more than 256 entries can never be addressed.
        const bool stated = colorsUsed != 0;
        entries = stated ? std::min<uint32_t>(colorsUsed, 256) : size_t{1} << bits;
        if (paletteStart + entries * entrySize > offset) {
            if (stated)
                return fail("is damaged: its palette of " + std::to_string(colorsUsed) +
                            " colours runs into its pixel data");
            entries = static_cast<size_t>((offset - paletteStart) / entrySize);
        }
    }

    // Only the last row may lack its padding; no stored pixel may be missing.
    // Overflow-free: stride < 2^33 and height < 2^31.
    const uint64_t needed = stride * static_cast<uint64_t>(height - 1) + rowBytes;
    const uint64_t available = fileSize > offset ? fileSize - offset : 0;
    if (available < needed)
        return fail("is cut short: its pixel data needs " + std::to_string(needed) + " bytes but the file holds " +
                    std::to_string(available));
    if (rowBytes * static_cast<uint64_t>(height) > kMaxPixelBytes)
        return fail("is too large: its " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels would take more than the 2 GiB a bitmap may hold");

    if (paletteStart + entries * entrySize > headLen) return fail("is cut short: it ends inside its palette");
    out.palette.resize(std::min<size_t>(entries, size_t{1} << std::min(bits, 8u)));
    for (size_t i = 0; i < out.palette.size(); ++i) {
        const uint8_t* e = head + paletteStart + i * entrySize;
        out.palette[i] = RGBQUAD{e[0], e[1], e[2], static_cast<uint8_t>(entrySize == 4 ? e[3] : 0)};
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.bits = static_cast<int>(bits);
    out.topDown = topDown;
    out.offset = offset;
    out.rowBytes = rowBytes;
    out.stride = stride;
    return true;
}

// Bits past the width in the last byte of a 1- or 4-bit row are zeroed, so
// equal pictures are equal bytes and saved files carry no stray bits.
void ClearTailBits(uint8_t* pixels, const TLayout& layout) {
    const unsigned usedBits = static_cast<unsigned>((static_cast<uint64_t>(layout.width) * layout.bits) % 8);
    if (usedBits == 0) return;
    const uint8_t keep = static_cast<uint8_t>(0xff00u >> usedBits);
    for (int y = 0; y < layout.height; ++y) pixels[layout.rowBytes * (y + 1) - 1] &= keep;
}

std::unique_ptr<uint8_t[]> AllocateFor(const TLayout& layout) {
    // Every byte is overwritten by the pixel rows; zeroing a large frame
    // first would cost as much again as reading it.
    return std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(layout.rowBytes) * layout.height);
}

std::string DescribeErrno(int error) { return std::strerror(error); }

// Reads the pixel array of an open file straight into the picture rows, top
// row first, with the kernel scattering each stored row to its place: no
// intermediate buffer and no second copy. Pads go to a scratch word.
bool ReadRows(int fd, const TLayout& layout, uint8_t* pixels, std::string* why) {
    const size_t height = static_cast<size_t>(layout.height);
    const size_t rowBytes = static_cast<size_t>(layout.rowBytes);
    const size_t pad = static_cast<size_t>(layout.stride - layout.rowBytes);
    static thread_local uint8_t scratch[4];
    std::vector<iovec> iov;
    iov.reserve(pad ? 2 * height : height);
    for (size_t k = 0; k < height; ++k) {
        uint8_t* row = pixels + rowBytes * (layout.topDown ? k : height - 1 - k);
        if (!iov.empty() && static_cast<uint8_t*>(iov.back().iov_base) + iov.back().iov_len == row)
            iov.back().iov_len += rowBytes;
        else
            iov.push_back(iovec{row, rowBytes});
        if (pad && k + 1 < height) iov.push_back(iovec{scratch, pad});
    }
#ifdef IOV_MAX
    constexpr size_t kBatch = IOV_MAX;
#else
    constexpr size_t kBatch = 1024;
#endif
    off_t position = static_cast<off_t>(layout.offset);
    size_t next = 0;
    while (next < iov.size()) {
        const int count = static_cast<int>(std::min(iov.size() - next, kBatch));
        const ssize_t got = preadv(fd, &iov[next], count, position);
        if (got < 0) {
            if (errno == EINTR) continue;
            *why = "cannot be read: " + DescribeErrno(errno);
            return false;
        }
        if (got == 0) {  // the file shrank since its size was taken
            *why = "is cut short: it ended while its pixel data was being read";
            return false;
        }
        position += got;
        size_t left = static_cast<size_t>(got);
        while (left > 0) {
            iovec& v = iov[next];
            if (left >= v.iov_len) {
                left -= v.iov_len;
                ++next;
            } else {
                v.iov_base = static_cast<uint8_t*>(v.iov_base) + left;
                v.iov_len -= left;
                left = 0;
            }
        }
    }
    return true;
}

class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

bool TBmpCodec::Decode(const uint8_t* data, size_t size, TBitmap& bitmap, std::string* reason) {
    std::string why;
    TLayout layout;
    if (!data) size = 0;
    if (!ParseLayout(data, size, size, layout, &why)) {
        if (reason) *reason = "The file " + why;
        return false;
    }
    std::unique_ptr<uint8_t[]> pixels;
    try {
        pixels = AllocateFor(layout);
    } catch (const std::bad_alloc&) {
        if (reason) *reason = "There is not enough memory to read the file";
        return false;
    }
    const uint8_t* array = data + layout.offset;
    for (int y = 0; y < layout.height; ++y) {
        const size_t stored = static_cast<size_t>(layout.topDown ? y : layout.height - 1 - y);
        std::memcpy(pixels.get() + layout.rowBytes * y, array + layout.stride * stored, layout.rowBytes);
    }
    ClearTailBits(pixels.get(), layout);
    bitmap.width_ = layout.width;
    bitmap.height_ = layout.height;
    bitmap.format_ = FormatOfBits(layout.bits);
    bitmap.palette_ = std::move(layout.palette);
    bitmap.pixels_ = std::move(pixels);
    return true;
}

std::vector<uint8_t> TBmpCodec::Encode(const TBitmap& bitmap) {
    const int bits = BitsPerPixel(bitmap.format_);
    if (bitmap.Empty() || !bitmap.pixels_ || bits == 0) throw EBitmapError("an empty bitmap cannot be saved");
    // A palettised bitmap without entries still needs a palette in its file
    // (a reader would otherwise take the pixels for colours): grey, which is
    // what an astronomer's 8-bit frame is.
    std::vector<RGBQUAD> palette;
    if (bits <= 8) palette = bitmap.palette_.empty() ? GreyRamp(1 << bits) : bitmap.palette_;
    const size_t entries = palette.size();
    const uint64_t rowBytes = bitmap.RowBytes();
    const uint64_t stride = BmpStride(rowBytes);
    const uint64_t imageBytes = stride * static_cast<uint64_t>(bitmap.height_);
    const uint64_t offset = 54 + 4 * uint64_t{entries};
    const uint64_t total = offset + imageBytes;
    if (total > UINT32_MAX) throw EBitmapError("the bitmap is too large for a bitmap file");

    std::vector<uint8_t> file(static_cast<size_t>(total), 0);
    uint8_t* f = file.data();
    f[0] = 'B';
    f[1] = 'M';
    PutLE32(f + 2, static_cast<uint32_t>(total));
    PutLE32(f + 10, static_cast<uint32_t>(offset));
    PutLE32(f + 14, 40);
    PutLE32(f + 18, static_cast<uint32_t>(bitmap.width_));
    PutLE32(f + 22, static_cast<uint32_t>(bitmap.height_));  // positive: bottom-up, as every reader expects
    PutLE16(f + 26, 1);
    PutLE16(f + 28, static_cast<uint16_t>(bits));
    PutLE32(f + 30, 0);
    PutLE32(f + 34, static_cast<uint32_t>(imageBytes));
    PutLE32(f + 38, static_cast<uint32_t>(kPelsPerMeter));
    PutLE32(f + 42, static_cast<uint32_t>(kPelsPerMeter));
    // A full palette is written as 0, "all of them", which every reader knows.
    PutLE32(f + 46, entries == (size_t{1} << bits) ? 0 : static_cast<uint32_t>(entries));
    PutLE32(f + 50, 0);
    for (size_t i = 0; i < entries; ++i) {
        uint8_t* e = f + 54 + 4 * i;
        e[0] = palette[i].rgbBlue;
        e[1] = palette[i].rgbGreen;
        e[2] = palette[i].rgbRed;
        e[3] = palette[i].rgbReserved;
    }
    for (int y = 0; y < bitmap.height_; ++y)
        std::memcpy(f + offset + stride * static_cast<uint64_t>(bitmap.height_ - 1 - y),
                    bitmap.pixels_.get() + rowBytes * static_cast<uint64_t>(y), static_cast<size_t>(rowBytes));
    return file;
}

void TBitmap::LoadFromFile(const std::string& path) {
    auto refuse = [&](const std::string& why) { throw EBitmapError(path + " " + why); };
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) refuse("cannot be opened: " + DescribeErrno(errno));
    struct stat st;
    if (fstat(fd.get(), &st) != 0) refuse("cannot be read: " + DescribeErrno(errno));
    if (S_ISDIR(st.st_mode)) refuse("is a folder, not a bitmap file");
    if (!S_ISREG(st.st_mode)) refuse("is not a bitmap file");
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);

    // The headers and palette first, then the pixel rows straight into place.
    uint8_t head[kHeadBytes];
    size_t headLen = 0;
    std::string why;
    if (!ReadAt(fd.get(), head, static_cast<size_t>(std::min<uint64_t>(fileSize, kHeadBytes)), 0, &headLen))
        refuse("cannot be read: " + DescribeErrno(errno));
    TLayout layout;
    if (!ParseLayout(head, headLen, fileSize, layout, &why)) refuse(why);
    std::unique_ptr<uint8_t[]> pixels;
    try {
        pixels = AllocateFor(layout);
    } catch (const std::bad_alloc&) {
        refuse("cannot be read: there is not enough memory for its " + std::to_string(layout.width) + " x " +
               std::to_string(layout.height) + " pixels");
    }
    if (!ReadRows(fd.get(), layout, pixels.get(), &why)) refuse(why);
    ClearTailBits(pixels.get(), layout);

    width_ = layout.width;
    height_ = layout.height;
    format_ = FormatOfBits(layout.bits);
    palette_ = std::move(layout.palette);
    pixels_ = std::move(pixels);
}

void TBitmap::SaveToFile(const std::string& path) const {
    if (Empty() || !pixels_) throw EBitmapError(path + " cannot be saved: the bitmap is empty");
    std::vector<uint8_t> file;
    try {
        file = TBmpCodec::Encode(*this);
    } catch (const std::bad_alloc&) {
        throw EBitmapError(path + " cannot be saved: there is not enough memory");
    } catch (const EBitmapError& e) {
        throw EBitmapError(path + " cannot be saved: " + e.what());
    }
    std::string error;
    if (!ReplaceFileContents(path, file.data(), file.size(), &error))
        throw EBitmapError(path + " could not be saved" + (error.empty() ? std::string() : ": " + error));
}
