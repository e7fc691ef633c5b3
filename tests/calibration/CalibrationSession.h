// What the calibration and conversion tests share: frame records as
// ReadBmpFile leaves them, and a folder of frame files with a scripted port
// to run a command in.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "ScriptedPort.h"
#include "SmallFileLimit.h"
#include "TestFiles.h"
#include "untBmpUtil.h"
#include "untMainState.h"

namespace vc {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;
using Record = TOwnedBmpRecord;
using vt::FramePixels;

// w x h pixels of bpp bytes each; biSizeImage is the buffer length.
inline Record MakeRecord(int w, int h, const Bytes& px, int bpp = 1) {
    Record r;
    EXPECT_EQ(r.Create(w, h, bpp), BMP_NO_ERROR);
    std::copy(px.begin(), px.end(), r->pixels);
    r->infoHeader->biSizeImage = static_cast<uint32_t>(px.size());
    return r;
}
inline Bytes BytesOf(const BmpRecord& r) { return {r.pixels, r.pixels + BmpPixelBytes(r)}; }

// A palette of greys `step` levels apart, from black, or from white when inverted.
inline Bytes Grey(int entries, int step = 1, bool inverted = false) {
    Bytes p;
    for (int i = 0; i < entries; ++i) {
        const auto g = static_cast<uint8_t>(inverted ? 255 - i * step : i * step);
        p.insert(p.end(), {g, g, g, 0});
    }
    return p;
}

// The red of palette entry `entry` in a frame file.
inline int PaletteRed(const std::string& path, int entry) {
    const Bytes f = vt::ReadBytes(path);
    return f.at(14 + f.at(14) + 4 * static_cast<size_t>(entry) + 2);
}

struct Session {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;

    // A frame file w pixels wide, as many rows high as the pixels fill (top
    // row first); 8-bit grey frames can be written with vt::WriteFrame.
    std::string Frame(const std::string& name, int w, Bytes px, int bits = 8, Bytes palette = {}) {
        vt::BmpLayout s;
        s.width = w;
        s.height = static_cast<int>(px.size() / static_cast<size_t>((w * bits + 7) / 8));
        s.bitCount = bits;
        s.pixels = std::move(px);
        s.paletteBGRA = std::move(palette);
        vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
        return dir.file(name);
    }
    // Frames f0.bmp, f1.bmp ... of two rows of eight pixels at the given bits
    // per pixel; 0 stands for an 8-bit frame one pixel wider.
    Texts Frames(const std::vector<int>& depths) {
        Texts files;
        for (size_t i = 0; i < depths.size(); ++i) {
            const int bits = depths[i] ? depths[i] : 8, w = depths[i] ? 8 : 9, levels = 1 << std::min(bits, 8);
            files.push_back(Frame("f" + std::to_string(i) + ".bmp", w, Bytes((w * bits + 7) / 8 * 2, 1), bits,
                                  bits < 8 ? Grey(levels, 255 / (levels - 1)) : Bytes{}));
        }
        return files;
    }
    // Every message box so far as "title: text".
    Texts Messages() const {
        Texts t;
        for (const auto& m : port.messages) t.push_back(m.title + ": " + m.text);
        return t;
    }
};

}  // namespace vc
