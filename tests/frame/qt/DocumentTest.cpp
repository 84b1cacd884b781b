#include <gtest/gtest.h>

#include "frame/qt/Document.h"

namespace {

// Control characters of a title from the base are shown, not passed on to the window manager.
TEST(DocumentTitle, ControlCharactersAreShownAsEscapes) {
    Norik::CDocument document;
    document.SetTitle(QStringLiteral("Приказ \x1b[31mкрасный\x07 ") + QChar(0x9B) + QStringLiteral("1"));
    EXPECT_EQ(document.title(), QStringLiteral("Приказ \\x1b[31mкрасный\\x07 \\x9b1"));
}

}  // namespace
