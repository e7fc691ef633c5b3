// Highest, lowest and mean byte of a frame record, over every byte of its
// pixel buffer (the three colour bytes of a 24-bit pixel alike).
#pragma once

#include <cstdint>

#include "untBmpUtil.h"

// The count is biSizeImage as ReadBmpFile leaves it (the buffer length).
// The mean is the double-precision sum over the count, truncated. Any result
// pointer may be null. A null record, or one without pixels or header, does
// nothing; an empty buffer gives 0, 0, 0.
void MeasureFrame(const BmpRecord* record, uint32_t* highest, uint32_t* lowest, uint32_t* mean);
