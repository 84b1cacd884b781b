// Control characters of a base shown, not obeyed, on a terminal.
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

#include "tools/ToolCommon.h"

namespace {

TEST(TerminalEscapes, ControlsAreWrittenAsHexAndTextPassesUnchanged) {
    std::ostringstream target;
    {
        Norik::TerminalEscapes escapes(target.rdbuf());
        std::ostream out(&escapes);
        // ESC[31m, a bell, DEL, the C1 control CSI (U+009B) between Cyrillic letters, a tab, a line
        // end, and a last byte that only looks like the start of a C1 control.
        out << "a\x1b[31mb\a\x7f"
            << "\xd0\x94\xc2\x9b\xd0\x94\xc2\xa0\t|\n"
            << "\xc2";
    }
    EXPECT_EQ(target.str(), "a\\x1b[31mb\\x07\\x7f\xd0\x94\\xc2\\x9b\xd0\x94\xc2\xa0\t|\n\xc2");
}

}  // namespace
