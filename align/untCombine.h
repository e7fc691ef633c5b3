// The combining rules: each canvas pixel from the frames placed over it.
// Average and Sum (StackRowMean), Median, Median Average and Median Sum
// (StackRowMedian) work a canvas row at a time with row buffers whose size
// grows with the canvas width only; fp Average accumulates whole frames
// shifted by their lock fractions.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "untAlignModel.h"
#include "untBitmap.h"

// The rules, by the numbers the run has always used.
enum TStackMode : int {
    smAverage = 1,
    smMedian = 2,
    smMedianAverage = 3,
    smSum = 4,
    smMedianSum = 5,
    smFpAverage = 7,
};

struct TStackParms {
    int StackMode = smAverage;
    int WcmyMode = 0;     // 1: Average makes colour from C, M, Y means
    int ScaleFactor = 1;  // divisor of Sum and Median Sum; below 1 counts as 1
    // The first frame's palette; the mean rules take the red byte of entry
    // v for an 8-bit value v. Entries the first frame lacks are grey (i, i, i).
    std::array<RGBQUAD, 256> palette{};
};

// The run's palette from its first frame: its entries, then a grey ramp.
std::array<RGBQUAD, 256> RunPalette(const TBitmap& first);

// What a canvas row needs while it is combined: three unsigned 32-bit
// components (red, green, blue) per canvas column in the sum and count
// buffers, and the median rules' sample slots. One per thread.
struct TStackRowBuffers {
    std::vector<uint32_t> sum;    // 3 * width; the finished row after a kernel
    std::vector<uint32_t> count;  // 3 * width
    std::vector<uint8_t> samples;
    explicit TStackRowBuffers(int canvasWidth = 0);
    void Clear();
};

// Canvas row y of the frames [0, count) placed by originX .. endY.
// Average, Sum: 24-bit frames add their red, green and blue; 8-bit frames
// add the palette level to the channel their name gives (all three for
// channel 0). Average gives the grey red mean (unsigned division), with
// WcmyMode 1 colour from the C, M, Y means, limited to 0..255, black where a
// component has no sample; Sum each sum / ScaleFactor, 255 where above.
void StackRowMean(const aligndata* frames, int count, const TStackParms& parms, int y, TStackRowBuffers& buffers);
// Median, Median Average, Median Sum on the stored values (no palette);
// one sample a frame, or three for a run whose first frame is 24-bit, each
// component on its own. With n covering samples: Median the (n / 2)-th
// largest (the lower middle for even n); Median Average the mean of all but
// the two largest (of all when n < 4); Median Sum their sum / ScaleFactor;
// 255 where above; 0 where n is 0. 8-bit frames among 24-bit ones (a mix
// the run refuses) give their byte to all three components.
void StackRowMedian(const aligndata* frames, int count, const TStackParms& parms, int y, TStackRowBuffers& buffers);

// Every canvas row with the integer rules, rows shared among threads (0:
// one per core). rowDone(y) is called on the calling thread after each row
// it did itself, row 0 first; when it returns false (a stop) no row is
// started after it and the canvas is left unfinished. Bytes do not depend
// on the thread count.
// The canvas is 24-bit; each pixel gets the low 8 bits of the row's sums.
void CombineFrames(const aligndata* frames, int count, const TStackParms& parms, TBitmap& canvas, unsigned threads,
                   const std::function<bool(int y)>& rowDone = {});

// fp Average accumulators over the W x H canvas.
struct TSubpixelSums {
    int width = 0;
    int height = 0;
    std::vector<double> sum;     // width * height
    std::vector<double> weight;  // width * height
    TSubpixelSums(int w, int h);
};

// Adds frame f, its rows 0 .. height - 2, shifted by minus its lock
// fractions so the stars of all frames meet: a pixel goes with weight
// (1-fx)(1-fy) to its own place, (1-fy)fx to the left neighbour,
// (1-fx)fy to the upper one and fx fy to the upper-left one; what falls
// left of column 0 or above row 0 is dropped. A fraction outside [0, 1)
// (-1 after a lock that found no centre) counts as 0. 8-bit frames add their
// stored byte, 24-bit frames the mean of its three bytes, rounded down.
// Each canvas pixel gets its four parts in the order one pass over the
// frame would add them, so the sums do not depend on the thread count.
void AccumulateSubpixel(const aligndata& frame, TSubpixelSums& sums, unsigned threads);
// Finishes fp Average into the 24-bit canvas: sum / weight where weight > 0
// (else 0), scaled by 254.0 / the largest, grey, low 8 bits of the
// truncated value. All black when the largest is 0.
void FinishSubpixel(TSubpixelSums& sums, TBitmap& canvas);
