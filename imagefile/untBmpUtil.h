// The frame record and its bitmap codec: the file-by-file commands hold each
// frame in one BmpRecord, read and written here without any toolkit.
//
// Contract of the record:
//  - pixels is exactly biWidth * biHeight * bytesPerPixel bytes, unpadded,
//    row 0 = top row of the picture; 24-bit pixels are blue, green, red.
//  - A record from ReadBmpFile or CreateBmpRecord owns all four buffers,
//    the 256-entry palette included (undefined contents for 24-bit).
//  - After ReadBmpFile, biHeight is positive (top-down files are turned
//    into the usual orientation) and biSizeImage is the pixel buffer length.
//    After CreateBmpRecord and WriteBmpFile, biSizeImage is the padded size
//    of the pixel array in a file.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

static_assert(std::endian::native == std::endian::little,
              "the bitmap headers are read straight into little-endian structures");

enum : uint32_t {
    BMP_NO_ERROR = 0,
    BMP_FILE_ERROR = 1,
    BMP_IMPROPER_TYPE = 2,
    BMP_NO_MEMORY = 3,
    BMP_BAD_POINTER = 4,
};

#pragma pack(push, 1)
struct BITMAPFILEHEADER {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    int16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
#pragma pack(pop)

static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(RGBQUAD) == 4);

struct BmpRecord {
    uint32_t status = BMP_NO_ERROR;
    // Why the last read or write failed, as an errno value, when a system
    // call refused it (no permission, disk full, file too large); 0 otherwise.
    int systemError = 0;
    // Any length: a fixed 260-character field would silently cut long paths
    // and send the write to a different file.
    std::string fileName;
    BITMAPFILEHEADER* fileHeader = nullptr;
    BITMAPINFOHEADER* infoHeader = nullptr;
    RGBQUAD* palette = nullptr;  // 256 entries
    uint8_t* pixels = nullptr;
};

// Reads record->fileName, opened for reading only. 8-bit and 24-bit
// uncompressed files with any version of the info header; the palette is read
// from after the info header, biClrUsed entries (0: 256, or as many as lie
// before the pixels), 3-byte entries for the 12-byte OS/2 header; entries the
// file lacks are black. The info header is handed on as a 40-byte one.
// Every size the header claims is checked against the file before anything is
// allocated; a file whose pixel rows end early is refused with BMP_FILE_ERROR
// (a missing pad after the last row is tolerated).
// A padded pixel array over 2 GiB - 1 is refused with BMP_NO_MEMORY.
// On failure the record holds no buffers (the pointers are null). Buffers the
// record already held are not released: call FreeBmpBuffers before reusing it.
[[nodiscard]] uint32_t ReadBmpFile(BmpRecord* record);

// What a write does with the record's resolution fields: the 96 pixels per
// metre this program's frames have always carried, or the values as they are.
enum class TResolutionFields { Set96, Kept };

// Writes the record to record->fileName: 24-bit records with pixel offset 54
// and no palette, all others as 8-bit with the 256-entry palette at 54 and
// pixels at 1078. The file is replaced only by a complete new file: a failed
// write leaves any existing file untouched and gives BMP_FILE_ERROR.
// Updates bfSize, bfOffBits, biSize, biSizeImage and (with Set96) the
// resolution fields.
// A record without headers or pixels, or an 8-bit one without its palette,
// gives BMP_BAD_POINTER; an empty fileName or a non-positive size
// BMP_IMPROPER_TYPE. No file is touched in those cases.
[[nodiscard]] uint32_t WriteBmpFile(BmpRecord* record, TResolutionFields resolution = TResolutionFields::Set96);

// Allocates a new record for a width x height picture of 1 or 3 bytes per
// pixel, with a grey-ramp palette and undefined pixels. On failure record is
// set to null and BMP_NO_MEMORY (or BMP_IMPROPER_TYPE for a depth other than
// 1 or 3, or a non-positive size) is returned.
[[nodiscard]] uint32_t CreateBmpRecord(BmpRecord*& record, int width, int height, int bytesPerPixel);

// Releases the buffers the record holds and clears the pointers, so a second
// call or a later read cannot free them twice. The record itself is not freed.
void FreeBmpBuffers(BmpRecord*& record);
void FreeBmpBuffers(BmpRecord& record);

// Fixed text of a status code, padded with blanks to 31 characters. A code
// outside 0..4 (for instance an operating-system error number) gives
// "Unknown error" padded the same way.
const char* BmpErrorText(uint32_t code);

// qsort-style order of unsigned 8-bit samples given by address: 0 first, 255 last.
int CompareSamples(const void* a, const void* b);

// Bytes per pixel of a record (1 or 3) and the exact length of its pixel buffer.
int BmpBytesPerPixel(const BmpRecord& record);
size_t BmpPixelBytes(const BmpRecord& record);
// The pixel bytes a kernel may walk: biSizeImage as ReadBmpFile leaves it,
// never more than the pixel buffer; 0 for a record without headers or pixels.
size_t RecordByteCount(const BmpRecord& record);

// Owns one BmpRecord with its buffers and releases them when it goes, on
// every way out of a command, an exception included. Moving hands the
// buffers over and leaves the source holding none. The record inside is an
// ordinary BmpRecord: pass get() or *owner to the codec and the kernels.
class TOwnedBmpRecord {
public:
    TOwnedBmpRecord() = default;
    ~TOwnedBmpRecord() { FreeBmpBuffers(record_); }
    TOwnedBmpRecord(TOwnedBmpRecord&& other) noexcept;
    TOwnedBmpRecord& operator=(TOwnedBmpRecord&& other) noexcept;
    TOwnedBmpRecord(const TOwnedBmpRecord&) = delete;
    TOwnedBmpRecord& operator=(const TOwnedBmpRecord&) = delete;

    // Releases what the record holds, then ReadBmpFile of path (which stays
    // the record's fileName, whatever the outcome).
    [[nodiscard]] uint32_t Read(const std::string& path);
    // Releases what the record holds, then takes a new picture as
    // CreateBmpRecord makes it (empty fileName). On failure the record
    // holds no buffers and status is the code returned.
    [[nodiscard]] uint32_t Create(int width, int height, int bytesPerPixel);
    // FreeBmpBuffers: the buffers go, fileName and status stay.
    void Release() { FreeBmpBuffers(record_); }

    BmpRecord* get() { return &record_; }
    const BmpRecord* get() const { return &record_; }
    BmpRecord& operator*() { return record_; }
    const BmpRecord& operator*() const { return record_; }
    BmpRecord* operator->() { return &record_; }
    const BmpRecord* operator->() const { return &record_; }

private:
    BmpRecord record_;
};
