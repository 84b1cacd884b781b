#include <gtest/gtest.h>

#include "frame/Bookmarks.h"
#include "platform/Profile.h"

namespace Norik {
namespace {

TEST(BookmarksTest, RemovingTheFirstOfThreeKeepsTheOtherTwoInTheSettings) {
    MemoryProfile profile;
    Bookmarks bookmarks(profile);
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(
            bookmarks.Add(Bookmark{TextPlace{static_cast<std::int16_t>(i), i * 100}, "Место " + std::to_string(i)}));
    ASSERT_TRUE(bookmarks.Remove(0));
    const Bookmarks read(profile);
    ASSERT_EQ(read.all().size(), 2u);
    EXPECT_EQ(read.all()[0].place, (TextPlace{2, 200}));
    EXPECT_EQ(read.all()[0].name, "Место 2");
    EXPECT_EQ(read.all()[1].place, (TextPlace{3, 300}));
    EXPECT_EQ(read.all()[1].name, "Место 3");
}

}  // namespace
}  // namespace Norik
