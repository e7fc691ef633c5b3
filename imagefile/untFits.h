// The FITS writer: an 8-bit frame record becomes one primary header block of
// 2880 bytes followed by the picture as 16-bit big-endian integers, bottom
// row first, zero-padded to a whole number of 2880-byte blocks.
//
// Calling order: PrepareFits, then WriteFits only if it returned
// BMP_NO_ERROR, then FreeFitsRecord in every case.
#pragma once

#include <cstdint>
#include <string>

#include "untBmpUtil.h"

constexpr size_t kFitsBlockBytes = 2880;

struct FitsRecord {
    // Any length: a fixed field would have to cut the name of a frame whose
    // path is long, and the FITS file would land somewhere else.
    std::string fileName;
    uint8_t* data = nullptr;  // sampleCount samples of bitsPerSample bits
    int32_t bitsPerSample = 0;
    uint32_t sampleCount = 0;
    char headerBlock[kFitsBlockBytes] = {};  // 36 cards of 80 characters, no line ends
    int systemError = 0;  // why the last WriteFits failed, as an errno value; 0 when no system call did
};

// The FITS name of a frame: its file name (never a folder of its path) cut at
// the first ".", then ".fts"; a file name without a dot gets ".fts" appended.
// "a/m42.2024/f.v2.bmp" gives "a/m42.2024/f.fts".
std::string FitsFileName(const std::string& bmpPath);

// Fills fits from an 8-bit record read by ReadBmpFile (or made by
// CreateBmpRecord): the name by FitsFileName, the samples and the header
// block. A missing record, info header or pixel buffer gives BMP_BAD_POINTER;
// a frame that is not 8-bit gives BMP_IMPROPER_TYPE (its pixels are not one
// byte each, and reading them as if they were would be wrong); a data unit
// that cannot be allocated gives BMP_NO_MEMORY. A failure is also stored in
// bmp->status, and leaves fits without data. Data a previous call left in
// fits is released first.
[[nodiscard]] uint32_t PrepareFits(BmpRecord* bmp, FitsRecord* fits);

// Writes the header block, the data unit and its zero padding to
// fits->fileName. The file is replaced only by a complete new one: BMP_FILE_ERROR
// when it cannot be created or any write fails, leaving any earlier file of
// that name as it was. A record without data gives BMP_BAD_POINTER.
[[nodiscard]] uint32_t WriteFits(FitsRecord* fits);

// Releases the data unit, if any; safe to call twice.
void FreeFitsRecord(FitsRecord* fits);
