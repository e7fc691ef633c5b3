// Frames load in parallel but land in the order chosen, and the first bad
// file in that order ends the load, whatever the number of threads.
#include <gtest/gtest.h>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "untFrameLoader.h"

TEST(FrameLoader, AppendsInOrderAndStopsAtTheFirstBadFileWithAnyNumberOfThreads) {
    vt::TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 23; ++i) {
        const int width = 3 + i % 4;  // a different size each, so the order shows
        paths.push_back(dir.file("f" + std::to_string(i) + ".bmp"));
        vt::WriteBytes(paths.back(), vt::BuildBmp({.width = width, .height = 2,
                                                   .pixels = std::vector<uint8_t>(width * 2, uint8_t(i)),
                                                   .paletteBGRA = {}}));
    }
    std::vector<std::string> bad = paths;
    bad[5] = dir.file("bad5.bmp");
    bad[9] = dir.file("bad9.bmp");
    vt::WriteBytes(bad[5], {'B', 'M'});
    vt::WriteBytes(bad[9], {'n', 'o'});
    for (unsigned threads : {1u, 2u, 3u, 0u}) {
        std::vector<std::unique_ptr<TBitmap>> out;
        out.push_back(std::make_unique<TBitmap>());  // what was there stays first
        size_t calls = 0;
        LoadBitmapsInOrder(paths, out, threads, [&] {
            ++calls;
            EXPECT_EQ(out.size(), calls + 1);  // called after each append, one at a time
        });
        ASSERT_EQ(out.size(), paths.size() + 1);
        EXPECT_EQ(calls, paths.size());
        for (size_t i = 0; i < paths.size(); ++i) {
            EXPECT_EQ(out[i + 1]->Width(), static_cast<int>(3 + i % 4)) << threads << " threads";
            EXPECT_EQ(*out[i + 1]->ScanLine(1), i);
        }
        out.clear();
        EXPECT_NE(vt::ErrorOf([&] { LoadBitmapsInOrder(bad, out, threads, nullptr); }).find("bad5.bmp"), std::string::npos);
        EXPECT_EQ(out.size(), 5u) << threads << " threads";
    }
}
