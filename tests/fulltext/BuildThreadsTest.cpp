// The threads a full-text build starts can report a crash of their own (a stack overflow there
// needs a signal stack apart from the thread's stack).
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>

#include "TestSupport.h"
#include "fulltext/FullTextIndex.h"

namespace Norik::FullText {
namespace {

TEST(BuildThreads, EachHasAnAlternateSignalStack) {
    const NorikTest::TempDir dir;
    std::vector<DocumentFields> documents;
    for (std::int16_t number = 1; number <= 40; ++number)
        documents.push_back({number, "Приказ", "Приказ", "1", 0, true});
    std::atomic<int> texts = 0, withoutStack = 0;
    const auto textOf = [&](std::int16_t) -> std::optional<DocumentText> {
        stack_t current{};
        if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) != 0) ++withoutStack;
        ++texts;
        return DocumentText{"текст документа", {}};
    };
    ASSERT_TRUE(BuildIndex(dir.path() / "fulltext", documents, textOf, BaseIdentity{0, "test-base"}, {}).ok);
    EXPECT_EQ(texts, 40);
    EXPECT_EQ(withoutStack, 0);
}

}  // namespace
}  // namespace Norik::FullText
