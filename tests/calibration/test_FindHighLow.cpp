// "Find High and Low" end to end through the scripted port: what the results
// dialog shows, the status line, and that the frame stays as it was.
#include <gtest/gtest.h>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untFindHighLow.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

Rows Shown(const std::string& high, const std::string& low, const std::string& average) {
    return {{"Highest", high}, {"Lowest", low}, {"Average", average}, {"", ""}, {"", ""}};
}

struct Measure {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;

    std::string Frame(const std::vector<uint8_t>& pixels, int bitCount = 8) {
        vt::BmpLayout s;
        s.bitCount = bitCount;
        s.width = static_cast<int>(pixels.size()) / (bitCount / 8);
        s.pixels = pixels;
        const std::string path = dir.file("f" + std::to_string(++made) + ".bmp");
        vt::WriteBytes(path, vt::BuildBmp(s));
        return path;
    }
    int made = 0;
};

}  // namespace

TEST(FindHighAndLow, ShowsHighestLowestAndTruncatedAverageOfEveryByte) {
    struct Case {
        std::vector<uint8_t> pixels;
        int bitCount;
        Rows rows;
    };
    const Case cases[] = {
        {{17, 17, 17, 17}, 8, Shown("17", "17", "17")},
        {{0, 1, 255}, 8, Shown("255", "0", "85")},
        {{0, 1}, 8, Shown("1", "0", "0")},
        {{10, 20, 40}, 24, Shown("40", "10", "23")},  // blue, green and red bytes together
    };
    for (const Case& c : cases) {
        Measure m;
        const std::string path = m.Frame(c.pixels, c.bitCount);
        const auto before = vt::ReadBytes(path);
        m.port.AnswerOpen({path});
        FindHighAndLow(m.state, m.port);
        EXPECT_EQ(m.port.results, std::vector<Rows>{c.rows});
        EXPECT_EQ(m.port.statuses, (std::vector<std::string>{"Measuring " + path, "Idle"}));
        EXPECT_TRUE(m.port.messages.empty());
        EXPECT_EQ(vt::ReadBytes(path), before);
        EXPECT_EQ(m.port.open().Options, unsigned(ofFileMustExist));
    }
}

TEST(FindHighAndLow, AnUnreadableFileIsReportedAndCancelShowsNothing) {
    Measure m;
    const std::string junk = m.dir.file("junk.bmp");
    vt::WriteBytes(junk, std::vector<uint8_t>(40, 'x'));  // shorter than the headers
    m.port.AnswerOpen({junk});
    FindHighAndLow(m.state, m.port);
    ASSERT_EQ(m.port.messages.size(), 1u);
    EXPECT_EQ(m.port.messages[0].text, BmpErrorText(BMP_FILE_ERROR));
    EXPECT_EQ(m.port.messages[0].title, "Error");
    EXPECT_EQ(m.port.statuses, (std::vector<std::string>{"Measuring " + junk, "Idle"}));
    EXPECT_TRUE(m.port.results.empty());

    m.port.statuses.clear();
    m.port.CancelOpen();
    FindHighAndLow(m.state, m.port);
    EXPECT_TRUE(m.port.statuses.empty());
    EXPECT_TRUE(m.port.results.empty());
}
