// "Find High and Low" end to end: what the results dialog shows, and that the
// frame stays as it was.
#include <gtest/gtest.h>

#include "CalibrationSession.h"
#include "untFindHighLow.h"

using namespace vc;

TEST(FindHighAndLow, ShowsHighestLowestAndTruncatedAverageOfEveryByte) {
    using Rows = std::vector<std::pair<std::string, std::string>>;
    const struct {
        Bytes pixels;
        int bits;
        const char *high, *low, *average;
    } cases[] = {
        {{0, 1, 255}, 8, "255", "0", "85"},
        {{0, 1}, 8, "1", "0", "0"},
        {{10, 20, 40}, 24, "40", "10", "23"},  // blue, green and red bytes together
    };
    for (const auto& c : cases) {
        Session r;
        const std::string path = r.Frame("f.bmp", static_cast<int>(c.pixels.size()) * 8 / c.bits, c.pixels, c.bits);
        const auto before = vt::ReadBytes(path);
        r.port.AnswerOpen({path});
        FindHighAndLow(r.state, r.port);
        EXPECT_EQ(r.port.results, (std::vector<Rows>{
                                      {{"Highest", c.high}, {"Lowest", c.low}, {"Average", c.average}, {"", ""}, {"", ""}}}));
        EXPECT_EQ(r.port.statuses, (Texts{"Measuring " + path, "Idle"}));
        EXPECT_TRUE(r.port.messages.empty());
        EXPECT_EQ(vt::ReadBytes(path), before);
        EXPECT_EQ(r.port.open().Options, unsigned(ofFileMustExist));
    }

    Session r;  // Cancel leaves the status line alone
    r.port.CancelOpen();
    FindHighAndLow(r.state, r.port);
    EXPECT_TRUE(r.port.statuses.empty());
    EXPECT_TRUE(r.port.results.empty());
}
