// "Find High and Low" end to end: what the results dialog shows, and that the
// frame stays as it was. The figures of a real frame are in the command-line test.
#include <gtest/gtest.h>

#include "CalibrationSession.h"
#include "untFindHighLow.h"

using namespace vc;

TEST(FindHighAndLow, ShowsHighestLowestAndTruncatedAverageOfEveryByte) {
    using Rows = std::vector<std::pair<std::string, std::string>>;
    Session r;
    const std::string path = r.Frame("f.bmp", 1, {10, 20, 40}, 24);  // blue, green and red bytes together
    const auto before = vt::ReadBytes(path);
    r.port.AnswerOpen({path});
    RunFindHighAndLow(r.state, r.port);
    EXPECT_EQ(r.port.results, (std::vector<Rows>{{{"Highest", "40"}, {"Lowest", "10"}, {"Average", "23"}, {"", ""}, {"", ""}}}));
    EXPECT_EQ(r.port.statuses, (Texts{"Measuring " + path, "Idle"}));
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(vt::ReadBytes(path), before);
    EXPECT_EQ(r.port.open().Options, unsigned(ofFileMustExist));
}
