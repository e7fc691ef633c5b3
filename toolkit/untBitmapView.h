// Showing a toolkit bitmap: a QImage over the bitmap's own rows and palette,
// without copying the pixels. The image is valid while the bitmap lives and
// is neither resized nor given another pixel format; it sees later changes
// of the pixels, not of the palette (take a new view after SetPalette).
//
// 8-bit frames become Indexed8, 24-bit frames BGR888 and 1-bit frames Mono,
// all with the bitmap's unpadded row length as their stride. The colour table
// always has an entry for every index the depth allows: indices the palette
// lacks show black, and a bitmap without any palette shows a grey ramp.
// 4-bit frames have no QImage format of their own and are shown through an
// Indexed8 copy, so their view does not follow later pixel changes. An empty
// bitmap gives a null image.
#pragma once

#include <QImage>

#include "untBitmap.h"

QImage BitmapImage(const TBitmap& bitmap);
