// Copying one frame record into another of the same size, so that a single
// work record (with its own palette) can carry one frame after another.
#pragma once

#include <cstdint>

#include "untBmpUtil.h"

// Copies the two headers, the pixel bytes and fileName from source into
// destination. The pixel count is source's biSizeImage as ReadBmpFile leaves
// it, never more than source's buffer. The palette and status are not
// copied: destination keeps its own palette.
// Missing buffers on either side give BMP_BAD_POINTER; a destination buffer
// smaller than the bytes to copy gives BMP_IMPROPER_TYPE. Nothing is changed
// in those cases.
[[nodiscard]] uint32_t CopyBmpRecord(BmpRecord& destination, const BmpRecord& source);
