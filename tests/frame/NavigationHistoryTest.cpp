#include <gtest/gtest.h>

#include "frame/NavigationHistory.h"

namespace Norik {
namespace {

TEST(NavigationHistoryTest, ANewStepAfterGoingBackForgetsThePlacesAhead) {
    NavigationHistory history;
    const TextPlace start{1, 10}, link{2, 0}, other{3, 5};
    history.RecordStep(start, link);
    EXPECT_EQ(history.Back(link), start);
    ASSERT_TRUE(history.CanGoForward());
    history.RecordStep(start, other);
    EXPECT_FALSE(history.CanGoForward());
    EXPECT_EQ(history.Forward(other), std::nullopt);
    EXPECT_EQ(history.Back(other), start);
}

}  // namespace
}  // namespace Norik
