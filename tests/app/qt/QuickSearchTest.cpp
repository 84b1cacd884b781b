// The index behind the quick search: one the viewer cannot use is set aside and built anew in the
// user's cache folder while the window goes on.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <optional>

#include "Helpers/Folders.h"
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "app/FullTextService.h"
#include "showdata/ListDoc.h"

namespace NorikTest {
namespace {

using Norik::FullTextService;
namespace FullText = Norik::FullText;

class FullTextServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSmallBase(m_dir.file("base"));
        // The base carries no index of its own here: the viewer's is the one in the cache.
        std::filesystem::remove_all(FullText::BaseIndexFolder(m_dir.file("base")));
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = m_dir.folder() + "base/"});
        ShowData::ResetTablesForTests();
        ASSERT_EQ(ShowData::CShowClass::Init(m_port), Norik::kOk);
    }
    void TearDown() override {
        ShowData::ResetTablesForTests();
        Norik::ConfigureFolders(Norik::FolderSettings{});
    }

    TempDir m_dir;
    RecordingUserPort m_port;
};

TEST_F(FullTextServiceTest, AStaleOrDamagedIndexInTheCacheIsBuiltAgainAndAnswers) {
    const Norik::IndexSource source = Norik::OpenBaseIndexSource();
    const std::filesystem::path cache = FullText::CacheIndexFolder(source.baseFolder, source.baseDate);
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "stale");
        ErrorLogCapture log;
        // An index of another date of the base where this date's index goes.
        ASSERT_TRUE(
            FullText::BuildIndex(cache, source.documents, source.textOf, {source.baseDate + 1, source.baseKey}, {}).ok);
        if (damaged) {
            ASSERT_TRUE(
                FullText::BuildIndex(cache, source.documents, source.textOf, {source.baseDate, source.baseKey}, {}).ok);
            for (const auto& entry : std::filesystem::directory_iterator(cache))
                if (entry.is_regular_file()) WriteFile(entry.path().string(), "not an index");
        }
        ASSERT_NE(FullText::CheckIndex(cache, {source.baseDate, source.baseKey}).state, FullText::IndexState::Current);

        FullTextService service;
        QSignalSpy ready(&service, &FullTextService::ready);
        service.Prepare(Norik::OpenBaseIndexSource());
        EXPECT_EQ(service.state(), FullTextService::State::Building);
        ASSERT_TRUE(ready.wait(20000));
        EXPECT_EQ(service.folder(), cache);
        EXPECT_EQ(FullText::CheckIndex(cache, {source.baseDate, source.baseKey}).state, FullText::IndexState::Current);
        std::optional<FullText::SearchResult> answer;
        service.Search("земельным налогом", 10, 0, std::nullopt,
                       [&](FullText::SearchResult r) { answer = std::move(r); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
        const FullText::SearchResult& found = *answer;
        ASSERT_EQ(found.hits.size(), 1u);
        EXPECT_EQ(found.hits[0].number, 2);
        // A damaged index is told in the log and set aside; with the new index in place, what
        // was set aside is removed.
        EXPECT_EQ(log.entryCount(), damaged ? 1 : 0) << log.text();
        if (damaged) EXPECT_NE(log.text().find(".damaged"), std::string::npos) << log.text();
        std::filesystem::path aside = cache;
        aside += ".damaged";
        EXPECT_FALSE(std::filesystem::exists(aside));
    }
}

}  // namespace
}  // namespace NorikTest
