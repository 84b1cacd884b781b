// The built viewer started as a user starts it, on a sample base under a virtual X display: its
// window must come up and show something. Needs xvfb-run and ImageMagick's import; skipped
// without them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace NorikTest {
namespace {

bool Have(const std::string& program) { return RunShell("command -v " + program + " >/dev/null 2>&1").status == 0; }

TEST(ViewerScreenshotTest, TheMainWindowComesUpOnTheSampleBase) {
    if (!Have("xvfb-run") || !Have("import") || !Have("convert")) GTEST_SKIP() << "xvfb-run or ImageMagick missing";
    const std::string bin = NORIK_BINARY_DIR;
    if (!std::filesystem::exists(bin + "/norik")) GTEST_SKIP() << "the viewer is not built here";
    TempDir dir;
    const std::string base = dir.file("base");
    const CommandResult sample =
        RunShell("NORIK_VOCABULARY_DIR='" + std::string(NORIK_SOURCE_DIR) + "/res/vocabulary' '" + bin +
                 "/norik-tool' sample '" + base + "' --documents 200 2>&1");
    ASSERT_EQ(sample.status, 0) << sample.output;
    // The launcher question has been answered already, as on every start after the first.
    const std::string config = dir.file("config");
    WriteFile(dir.file("settings.sh"), "mkdir -p '" + config +
                                           "/Velda Document DB' && printf '[Default]\\nInstall=1\\n' > '" + config +
                                           "/Velda Document DB/База документов.conf'");
    ASSERT_EQ(RunShell("sh '" + dir.file("settings.sh") + "'").status, 0);

    // Screenshots every half second until the window shows more than a handful of colours.
    const std::string shot = dir.file("shot.png");
    const std::string script = "'" + bin + "/norik' --base '" + base +
                               "' & pid=$!\n"
                               "for i in $(seq 1 40); do\n"
                               "  sleep 0.5\n"
                               "  import -window root '" +
                               shot +
                               "' 2>/dev/null || continue\n"
                               "  colours=$(convert '" +
                               shot +
                               "' -format %k info:)\n"
                               "  if [ \"$colours\" -gt 50 ]; then echo \"colours $colours\"; break; fi\n"
                               "done\n"
                               "kill $pid 2>/dev/null; wait $pid 2>/dev/null\n"
                               "exit 0\n";
    WriteFile(dir.file("run.sh"), script);
    const CommandResult run = RunShell(
        "cd '" + dir.folder() + "' && XDG_CONFIG_HOME='" + config + "' NORIK_ERROR_LOG='" + dir.file("Norik.err") +
        "' QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s '-screen 0 1024x768x24' sh run.sh 2>&1");
    EXPECT_NE(run.output.find("colours "), std::string::npos) << run.output;
    // The window fills the screen: the status bar's texts are at the bottom of the screen, not
    // the empty root window.
    const CommandResult bottom = RunShell("convert '" + shot + "' -crop 1024x20+0+746 -format %k info:");
    EXPECT_GT(std::strtol(bottom.output.c_str(), nullptr, 10), 8) << bottom.output;
}

}  // namespace
}  // namespace NorikTest
