#include <gtest/gtest.h>

#include <sstream>

#include "tools/ProgressLine.h"

using namespace Norik;

TEST(ProgressLineTest, TextTellsTheShareDoneAndTheTimeLeft) {
    EXPECT_EQ(ProgressText("build", 500, 2000, 10.0), "build: 25% (500 of 2000), 0:30 left");
    // 9,990 s left: hours, minutes and seconds.
    EXPECT_EQ(ProgressText("fulltext", 1, 1000, 10.0), "fulltext: 0% (1 of 1000), 2:46:30 left");
    // No estimate before anything is done or before a second has passed, none once all is done.
    EXPECT_EQ(ProgressText("verify", 0, 40, 5.0), "verify: 0% (0 of 40)");
    EXPECT_EQ(ProgressText("verify", 20, 40, 0.5), "verify: 50% (20 of 40)");
    EXPECT_EQ(ProgressText("sample", 40, 40, 9.0), "sample: 100% (40 of 40)");
    EXPECT_EQ(ProgressText("sample", 0, 0, 0.0), "sample: 100% (0 of 0)");
}

TEST(ProgressLineTest, ALineIsRewrittenInPlaceOnATerminalAndNothingIsWrittenElsewhere) {
    std::ostringstream terminal;
    {
        ProgressLine line(terminal, true, "build");
        line.Show(1, 4);
        line.Show(4, 4);  // the end is shown however soon it comes
        line.Clear();
        terminal << "built\n";
    }
    EXPECT_EQ(terminal.str(), "\rbuild: 25% (1 of 4)\x1b[K\rbuild: 100% (4 of 4)\x1b[K\r\x1b[Kbuilt\n");

    std::ostringstream pipe;
    {
        ProgressLine line(pipe, false, "build");
        line.Show(1, 4);
        line.Show(4, 4);
    }
    EXPECT_EQ(pipe.str(), "");

    // An early return leaves no line behind.
    std::ostringstream abandoned;
    { ProgressLine(abandoned, true, "verify").Show(2, 4); }
    EXPECT_EQ(abandoned.str(), "\rverify: 50% (2 of 4)\x1b[K\r\x1b[K");
}
