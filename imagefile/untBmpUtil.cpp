#include "untBmpUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "untBmpFormat.h"
#include "untSafeFile.h"

namespace {

constexpr uint32_t kFileHeaderBytes = sizeof(BITMAPFILEHEADER);
constexpr uint32_t kInfoHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr uint32_t kCoreHeaderBytes = 12;  // OS/2 version 1, with 3-byte palette entries
constexpr uint32_t kPaletteBytes = 256 * sizeof(RGBQUAD);
constexpr uint32_t kHeadersBytes = kFileHeaderBytes + kInfoHeaderBytes;       // 54
constexpr uint32_t kPalettedOffset = kHeadersBytes + kPaletteBytes;           // 1078

// Rows are moved in blocks of about this many bytes, so a frame costs a few
// system calls rather than one per row, without a second frame-sized buffer.
constexpr size_t kBlockBytes = size_t(1) << 20;

// One allocation scheme for every buffer a record owns: new[] of bytes,
// which also starts the lifetime of the header structures placed in them.
template <class T>
T* AllocBuffer(size_t bytes, bool zero) {
    uint8_t* p = zero ? new (std::nothrow) uint8_t[bytes]() : new (std::nothrow) uint8_t[bytes];
    return reinterpret_cast<T*>(p);
}

template <class T>
void FreeBuffer(T*& p) {
    delete[] reinterpret_cast<uint8_t*>(p);
    p = nullptr;
}

// Every byte asked for, or false: this reader refuses what it cannot read whole.
// A file that ends early leaves errno 0: nothing refused the read.
bool ReadWhole(int fd, void* buffer, size_t size, uint64_t offset) {
    size_t got = 0;
    if (!ReadAt(fd, buffer, size, offset, &got)) return false;
    if (got == size) return true;
    errno = 0;
    return false;
}

// Geometry of a frame as stored in a file.
struct TLayout {
    uint64_t rowBytes = 0;  // pixel bytes of one row
    uint64_t stride = 0;    // row bytes padded to a multiple of 4
    uint64_t rows = 0;
};

TLayout LayoutOf(int64_t width, int64_t rows, int bytesPerPixel) {
    TLayout l;
    l.rowBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(bytesPerPixel);
    l.stride = BmpStride(l.rowBytes);
    l.rows = static_cast<uint64_t>(rows);
    return l;
}

// The sizes in a layout never exceed 2^31 * (3 * 2^31 + 3), so products of
// two of them fit 64 bits; only sums with file offsets need care.
bool FitsLimit(const TLayout& l) { return l.stride * l.rows <= kMaxRecordArrayBytes; }

uint32_t FailRead(BmpRecord* record, int fd, uint32_t code, int systemError = 0) {
    if (fd >= 0) close(fd);
    FreeBmpBuffers(*record);
    record->status = code;
    record->systemError = systemError;
    return code;
}

uint32_t FailWrite(BmpRecord* record, uint32_t code, int systemError = 0) {
    record->status = code;
    record->systemError = systemError;
    return code;
}

// The info header as a 40-byte one, whatever its version: an OS/2 version 1
// header (12 bytes, 16-bit sizes) is widened, fields a short OS/2 version 2
// header leaves out count as zero, and what a longer one adds is skipped.
bool ReadInfoHeader(int fd, uint32_t infoSize, uint64_t fileSize, BITMAPINFOHEADER& ih) {
    ih = BITMAPINFOHEADER{};
    if (infoSize == kCoreHeaderBytes) {
        uint8_t core[kCoreHeaderBytes];
        if (!ReadWhole(fd, core, sizeof core, kFileHeaderBytes)) return false;
        ih.biSize = infoSize;
        ih.biWidth = GetLE16(core + 4);
        ih.biHeight = GetLE16(core + 6);
        ih.biPlanes = GetLE16(core + 8);
        ih.biBitCount = static_cast<int16_t>(GetLE16(core + 10));
        return true;
    }
    if (kFileHeaderBytes + uint64_t{infoSize} > fileSize) return false;
    return ReadWhole(fd, &ih, std::min(infoSize, kInfoHeaderBytes), kFileHeaderBytes);
}

// Entries the file holds go first; the rest stay black, as the toolkit shows
// an index past the end of a palette.
bool ReadPalette(int fd, uint64_t start, size_t entries, size_t entrySize, RGBQUAD* palette) {
    uint8_t stored[256 * 4];
    if (entries > 0 && !ReadWhole(fd, stored, entries * entrySize, start)) return false;
    std::memset(palette, 0, kPaletteBytes);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* e = stored + i * entrySize;
        palette[i] = RGBQUAD{e[0], e[1], e[2], static_cast<uint8_t>(entrySize == 4 ? e[3] : 0)};
    }
    return true;
}

}  // namespace

uint32_t ReadBmpFile(BmpRecord* record) {
    if (!record) return BMP_BAD_POINTER;
    record->status = BMP_NO_ERROR;
    record->systemError = 0;
    // Buffers a caller left in the record are the caller's to release (the
    // per-file loop frees them before each read); from here on the record
    // holds only what this read produces, so a failure cannot free them.
    record->fileHeader = nullptr;
    record->infoHeader = nullptr;
    record->palette = nullptr;
    record->pixels = nullptr;

    const int fd = open(record->fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return FailRead(record, -1, BMP_FILE_ERROR, errno);
    struct stat st;
    if (fstat(fd, &st) != 0) return FailRead(record, fd, BMP_FILE_ERROR, errno);
    if (!S_ISREG(st.st_mode)) return FailRead(record, fd, BMP_FILE_ERROR, S_ISDIR(st.st_mode) ? EISDIR : 0);
    const auto fileSize = static_cast<uint64_t>(st.st_size);

    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    uint32_t infoSize = 0;
    if (fileSize < kFileHeaderBytes + 4) return FailRead(record, fd, BMP_FILE_ERROR);
    if (!ReadWhole(fd, &fh, kFileHeaderBytes, 0) || !ReadWhole(fd, &infoSize, 4, kFileHeaderBytes))
        return FailRead(record, fd, BMP_FILE_ERROR, errno);
    // Below 16 bytes, other than the 12 of the oldest version, not even the depth is there.
    if (infoSize < 16 && infoSize != kCoreHeaderBytes) return FailRead(record, fd, BMP_IMPROPER_TYPE);
    if (!ReadInfoHeader(fd, infoSize, fileSize, ih)) return FailRead(record, fd, BMP_FILE_ERROR);

    if (ih.biBitCount != 8 && ih.biBitCount != 24) return FailRead(record, fd, BMP_IMPROPER_TYPE);
    const int bpp = ih.biBitCount / 8;
    if (ih.biCompression != 0) return FailRead(record, fd, BMP_IMPROPER_TYPE);
    if (ih.biWidth <= 0 || ih.biHeight == 0 || ih.biHeight == INT32_MIN)
        return FailRead(record, fd, BMP_IMPROPER_TYPE);
    // A pixel array starting inside the headers is no layout we can read.
    const uint64_t paletteStart = kFileHeaderBytes + uint64_t{infoSize};
    if (fh.bfOffBits < paletteStart) return FailRead(record, fd, BMP_IMPROPER_TYPE);
    const size_t entrySize = infoSize == kCoreHeaderBytes ? 3 : 4;
    size_t entries = 0;
    if (bpp == 1) {
        // As the toolkit codec reads it: no stated count means 256, or as
        // many as fit before the pixels; a stated count must fit there.
        entries = ih.biClrUsed != 0 ? std::min<uint32_t>(ih.biClrUsed, 256) : 256;
        if (paletteStart + entries * entrySize > fh.bfOffBits) {
            if (ih.biClrUsed != 0) return FailRead(record, fd, BMP_FILE_ERROR);
            entries = static_cast<size_t>((fh.bfOffBits - paletteStart) / entrySize);
        }
    }

    const bool topDown = ih.biHeight < 0;
    const int64_t height = topDown ? -int64_t{ih.biHeight} : int64_t{ih.biHeight};
    const TLayout l = LayoutOf(ih.biWidth, height, bpp);
    // Every pixel byte must be in the file; only the pad after the last
    // stored row may be missing, as some writers leave it out.
    const uint64_t arrayEnd = fh.bfOffBits + (l.rows - 1) * l.stride + l.rowBytes;
    if (arrayEnd > fileSize) return FailRead(record, fd, BMP_FILE_ERROR);
    if (!FitsLimit(l)) return FailRead(record, fd, BMP_NO_MEMORY);
    const size_t pixelBytes = static_cast<size_t>(l.rowBytes * l.rows);

    record->fileHeader = AllocBuffer<BITMAPFILEHEADER>(kFileHeaderBytes, false);
    record->infoHeader = AllocBuffer<BITMAPINFOHEADER>(kInfoHeaderBytes, false);
    record->palette = AllocBuffer<RGBQUAD>(kPaletteBytes, false);
    record->pixels = AllocBuffer<uint8_t>(pixelBytes, false);
    if (!record->fileHeader || !record->infoHeader || !record->palette || !record->pixels)
        return FailRead(record, fd, BMP_NO_MEMORY);

    if (bpp == 1) {
        if (!ReadPalette(fd, paletteStart, entries, entrySize, record->palette))
            return FailRead(record, fd, BMP_FILE_ERROR);
    } else {
        FillGreyRamp(record->palette);
    }

    // Stored rows are read in file order, a block at a time; stored row s is
    // picture row s in a top-down file and row rows-1-s otherwise.
    const uint64_t blockRows = std::max<uint64_t>(1, kBlockBytes / l.stride);
    std::vector<uint8_t> block;
    try {
        block.resize(static_cast<size_t>(std::min(blockRows, l.rows) * l.stride));
    } catch (const std::bad_alloc&) {
        return FailRead(record, fd, BMP_NO_MEMORY);
    }
    for (uint64_t first = 0; first < l.rows; first += blockRows) {
        const uint64_t count = std::min(blockRows, l.rows - first);
        const uint64_t bytes = (count - 1) * l.stride + l.rowBytes;
        if (!ReadWhole(fd, block.data(), static_cast<size_t>(bytes), fh.bfOffBits + first * l.stride))
            return FailRead(record, fd, BMP_FILE_ERROR, errno);
        for (uint64_t k = 0; k < count; ++k) {
            const uint64_t stored = first + k;
            const uint64_t row = topDown ? stored : l.rows - 1 - stored;
            std::memcpy(record->pixels + row * l.rowBytes, block.data() + k * l.stride,
                        static_cast<size_t>(l.rowBytes));
        }
    }
    close(fd);

    ih.biHeight = static_cast<int32_t>(height);
    ih.biSizeImage = static_cast<uint32_t>(pixelBytes);
    *record->fileHeader = fh;
    *record->infoHeader = ih;
    return BMP_NO_ERROR;
}

uint32_t WriteBmpFile(BmpRecord* record, TResolutionFields resolution) {
    if (!record) return BMP_BAD_POINTER;
    record->systemError = 0;
    if (!record->fileHeader || !record->infoHeader || !record->pixels) return FailWrite(record, BMP_BAD_POINTER);
    if (record->fileName.empty()) return FailWrite(record, BMP_IMPROPER_TYPE);
    BITMAPFILEHEADER& fh = *record->fileHeader;
    BITMAPINFOHEADER& ih = *record->infoHeader;
    const int bpp = BmpBytesPerPixel(*record);
    const bool paletted = bpp == 1;
    // An 8-bit file without its palette would put the pixels where the
    // palette belongs: no reader could make sense of it.
    if (paletted && !record->palette) return FailWrite(record, BMP_BAD_POINTER);
    if (ih.biWidth <= 0 || ih.biHeight <= 0) return FailWrite(record, BMP_IMPROPER_TYPE);
    const TLayout l = LayoutOf(ih.biWidth, ih.biHeight, bpp);
    if (!FitsLimit(l)) return FailWrite(record, BMP_IMPROPER_TYPE);

    const uint32_t offset = paletted ? kPalettedOffset : kHeadersBytes;
    ih.biSize = kInfoHeaderBytes;
    ih.biSizeImage = static_cast<uint32_t>(l.stride * l.rows);
    // 96 per metre, not the 3780 that 96 dpi would be: frames written by this
    // program have always carried 96, and outputs stay byte-comparable.
    if (resolution == TResolutionFields::Set96) {
        ih.biXPelsPerMeter = 96;
        ih.biYPelsPerMeter = 96;
    }
    fh.bfOffBits = offset;
    fh.bfSize = ih.biSizeImage + offset;
    // The file holds 256 entries at most; a count read from a damaged header
    // that claims more would make every other reader refuse our output.
    if (ih.biClrUsed > 256) ih.biClrUsed = 0;

    // Rows are padded into a block and handed to the writer a block at a
    // time, bottom row of the picture first.
    const uint64_t blockRows = std::max<uint64_t>(1, kBlockBytes / l.stride);
    std::vector<uint8_t> block;
    try {
        block.assign(static_cast<size_t>(std::min(blockRows, l.rows) * l.stride), 0);
    } catch (const std::bad_alloc&) {
        return FailWrite(record, BMP_NO_MEMORY);
    }
    TSafeFileWriter writer;
    bool ok = writer.Open(record->fileName) && writer.Write(&fh, kFileHeaderBytes) &&
              writer.Write(&ih, kInfoHeaderBytes) && (!paletted || writer.Write(record->palette, kPaletteBytes));
    for (uint64_t first = 0; ok && first < l.rows; first += blockRows) {
        const uint64_t count = std::min(blockRows, l.rows - first);
        for (uint64_t k = 0; k < count; ++k) {
            const uint64_t row = l.rows - 1 - (first + k);
            // The pad bytes of the block stay zero: only row bytes are copied.
            std::memcpy(block.data() + k * l.stride, record->pixels + row * l.rowBytes,
                        static_cast<size_t>(l.rowBytes));
        }
        ok = writer.Write(block.data(), static_cast<size_t>(count * l.stride));
    }
    if (!ok || !writer.Commit()) return FailWrite(record, BMP_FILE_ERROR, writer.ErrorNumber());
    return BMP_NO_ERROR;
}

uint32_t CreateBmpRecord(BmpRecord*& record, int width, int height, int bytesPerPixel) {
    record = nullptr;
    if ((bytesPerPixel != 1 && bytesPerPixel != 3) || width <= 0 || height <= 0) return BMP_IMPROPER_TYPE;
    const TLayout l = LayoutOf(width, height, bytesPerPixel);
    if (!FitsLimit(l)) return BMP_NO_MEMORY;

    auto* r = new (std::nothrow) BmpRecord;
    if (!r) return BMP_NO_MEMORY;
    r->fileHeader = AllocBuffer<BITMAPFILEHEADER>(kFileHeaderBytes, true);
    r->infoHeader = AllocBuffer<BITMAPINFOHEADER>(kInfoHeaderBytes, true);
    r->palette = AllocBuffer<RGBQUAD>(kPaletteBytes, true);
    // Zeroed although the caller fills them: a forgotten row then shows as
    // black rather than as whatever the heap held.
    r->pixels = AllocBuffer<uint8_t>(static_cast<size_t>(l.rowBytes * l.rows), true);
    if (!r->fileHeader || !r->infoHeader || !r->palette || !r->pixels) {
        FreeBmpBuffers(*r);
        delete r;
        return BMP_NO_MEMORY;
    }

    const uint32_t offset = bytesPerPixel == 3 ? kHeadersBytes : kPalettedOffset;
    BITMAPINFOHEADER& ih = *r->infoHeader;
    ih.biSize = kInfoHeaderBytes;
    ih.biWidth = width;
    ih.biHeight = height;
    ih.biPlanes = 1;
    ih.biBitCount = static_cast<int16_t>(bytesPerPixel * 8);
    ih.biCompression = 0;
    ih.biSizeImage = static_cast<uint32_t>(l.stride * l.rows);
    ih.biClrUsed = 0;
    ih.biClrImportant = 0;
    BITMAPFILEHEADER& fh = *r->fileHeader;
    fh.bfType = 0x4D42;  // "BM"
    fh.bfReserved1 = 0;
    fh.bfReserved2 = 0;
    fh.bfOffBits = offset;
    fh.bfSize = ih.biSizeImage + offset;
    FillGreyRamp(r->palette);
    record = r;
    return BMP_NO_ERROR;
}

void FreeBmpBuffers(BmpRecord& record) {
    FreeBuffer(record.fileHeader);
    FreeBuffer(record.infoHeader);
    FreeBuffer(record.pixels);
    FreeBuffer(record.palette);
}

void FreeBmpBuffers(BmpRecord*& record) {
    if (record) FreeBmpBuffers(*record);
}

namespace {

struct TErrorSlot {
    char text[32];
};

constexpr TErrorSlot Padded(const char* s) {
    TErrorSlot slot{};
    size_t i = 0;
    for (; s[i] != '\0' && i < 31; ++i) slot.text[i] = s[i];
    for (; i < 31; ++i) slot.text[i] = ' ';
    slot.text[31] = '\0';
    return slot;
}

constexpr TErrorSlot kErrorTexts[] = {
    Padded("No error"),
    Padded("File error"),
    Padded("Improper file type"),
    Padded("Memory allocation failed"),
    Padded("Bad pointer passed to function"),
};
constexpr TErrorSlot kUnknownError = Padded("Unknown error");

}  // namespace

const char* BmpErrorText(uint32_t code) {
    return code < std::size(kErrorTexts) ? kErrorTexts[code].text : kUnknownError.text;
}

int CompareSamples(const void* a, const void* b) {
    const uint8_t x = *static_cast<const uint8_t*>(a);
    const uint8_t y = *static_cast<const uint8_t*>(b);
    return (x > y) - (x < y);
}

int BmpBytesPerPixel(const BmpRecord& record) {
    return record.infoHeader && record.infoHeader->biBitCount == 24 ? 3 : 1;
}

size_t BmpPixelBytes(const BmpRecord& record) {
    if (!record.infoHeader || record.infoHeader->biWidth <= 0 || record.infoHeader->biHeight <= 0) return 0;
    return static_cast<size_t>(record.infoHeader->biWidth) * static_cast<size_t>(record.infoHeader->biHeight) *
           static_cast<size_t>(BmpBytesPerPixel(record));
}

size_t RecordByteCount(const BmpRecord& record) {
    if (!record.infoHeader || !record.pixels) return 0;
    return std::min<size_t>(record.infoHeader->biSizeImage, BmpPixelBytes(record));
}

TOwnedBmpRecord::TOwnedBmpRecord(TOwnedBmpRecord&& other) noexcept
    : record_(std::exchange(other.record_, BmpRecord{})) {}

TOwnedBmpRecord& TOwnedBmpRecord::operator=(TOwnedBmpRecord&& other) noexcept {
    if (this != &other) {
        FreeBmpBuffers(record_);
        record_ = std::exchange(other.record_, BmpRecord{});
    }
    return *this;
}

uint32_t TOwnedBmpRecord::Read(const std::string& path) {
    FreeBmpBuffers(record_);
    record_.fileName = path;
    return ReadBmpFile(&record_);
}

uint32_t TOwnedBmpRecord::Create(int width, int height, int bytesPerPixel) {
    FreeBmpBuffers(record_);
    BmpRecord* made = nullptr;
    const uint32_t status = CreateBmpRecord(made, width, height, bytesPerPixel);
    if (status != BMP_NO_ERROR) {
        record_.status = status;
        return status;
    }
    // The buffers change hands; the empty shell CreateBmpRecord made them in goes.
    record_ = std::move(*made);
    delete made;
    return BMP_NO_ERROR;
}
