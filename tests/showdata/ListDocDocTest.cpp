// The model of a list window: opening, history, "Назад", titles, refreshes, search results.
#include <gtest/gtest.h>

#include "ModelFixture.h"
#include "showdata/DocSort.h"
#include "showdata/ListDocDoc.h"

namespace NorikTest {
namespace {

using ShowData::CListDocDoc;

class RecordingObserver : public ShowData::IListDocObserver {
public:
    void OnRefresh() override { ++refreshes; }
    void OnTitleChanged(const std::string& title) override { titles.push_back(title); }
    int refreshes = 0;
    std::vector<std::string> titles;
};

class ListDocDocTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        WriteSmallBase();
        m_model = std::make_unique<CListDocDoc>(m_port);
        m_model->AddObserver(&m_observer);
    }
    void TearDown() override {
        m_model.reset();
        ModelTest::TearDown();
    }

    std::unique_ptr<CListDocDoc> m_model;
    RecordingObserver m_observer;
};

TEST_F(ListDocDocTest, StartsEmptyAndShowNodeLoadsTheRootLevel) {
    EXPECT_EQ(m_model->Count(), 0);
    EXPECT_TRUE(m_model->title().empty());
    EXPECT_FALSE(m_model->CanGoBack());
    m_model->ShowNode(0, "");
    EXPECT_EQ(m_model->Count(), 2);
    EXPECT_EQ(m_model->title(), W("Классификатор"));
    EXPECT_EQ(m_observer.titles, std::vector<std::string>{W("Классификатор")});
    EXPECT_EQ(m_observer.refreshes, 1);
    EXPECT_FALSE(m_model->CanGoBack());
    EXPECT_TRUE(m_model->IsFolder());
    EXPECT_EQ(m_model->GetTitle(), "*");
}

TEST_F(ListDocDocTest, OpeningANodePushesOneEntryAndBackRestoresTheLevel) {
    m_model->ShowNode(0, "");
    const auto root = m_model->currentList();
    m_model->Open(0);  // Право
    ASSERT_EQ(m_model->history().size(), 1u);
    EXPECT_EQ(m_model->history()[0].id, 0);
    EXPECT_EQ(m_model->history()[0].name, "");
    EXPECT_EQ(m_model->title(), W("Классификатор-Право"));
    EXPECT_TRUE(m_model->CanGoBack());
    EXPECT_TRUE(root->GetMark(0));
    EXPECT_TRUE(m_model->GetMark(0) == false);

    m_model->Open(0);  // Налоги: a document list
    ASSERT_EQ(m_model->history().size(), 2u);
    EXPECT_EQ(m_model->history()[1].id, 1);
    EXPECT_EQ(m_model->history()[1].name, W("-Право"));
    EXPECT_EQ(m_model->title(), W("Список документов-Право-Налоги"));
    EXPECT_FALSE(m_model->IsFolder());
    EXPECT_EQ(m_observer.refreshes, 3);

    m_model->Back();
    EXPECT_EQ(m_model->history().size(), 1u);
    EXPECT_EQ(m_model->currentList()->id(), 1);
    EXPECT_EQ(m_model->currentList()->name(), W("-Право"));
    EXPECT_EQ(m_model->title(), W("Классификатор-Право"));
    // The rebuilt level shows the classifier's marks: Налоги was visited.
    EXPECT_TRUE(m_model->GetMark(0));
    m_model->Back();
    EXPECT_EQ(m_model->title(), W("Классификатор"));
    EXPECT_FALSE(m_model->CanGoBack());
    EXPECT_EQ(m_observer.refreshes, 5);

    m_model->Back();  // disabled: nothing happens
    EXPECT_EQ(m_observer.refreshes, 5);
    EXPECT_EQ(m_model->Count(), 2);
}

TEST_F(ListDocDocTest, OpeningADocumentChangesOnlyThatRowsMark) {
    m_model->ShowNode(0, "");
    m_model->Open(0);
    m_model->Open(0);
    const auto list = m_model->currentList();
    const auto title = m_model->title();
    const int refreshes = m_observer.refreshes;
    m_port.openResults = {false};
    m_port.answers = {Norik::MessageAnswer::Cancel};  // the user gives up on the disk

    EXPECT_EQ(m_model->Open(1), list);
    EXPECT_EQ(m_model->currentList(), list);
    EXPECT_EQ(m_model->title(), title);
    EXPECT_EQ(m_model->history().size(), 2u);
    EXPECT_EQ(m_observer.refreshes, refreshes);
    EXPECT_TRUE(m_model->GetMark(1));
    EXPECT_FALSE(m_model->GetMark(0));
    EXPECT_FALSE(m_model->GetMark(2));
    EXPECT_EQ(m_port.openedTexts, std::vector<std::string>{ShowData::DocFileName(std::int16_t(m_model->GetNumber(1)))});
}

TEST_F(ListDocDocTest, IndexOutOfRangeChangesNothing) {
    m_model->ShowNode(0, "");
    const auto list = m_model->currentList();
    EXPECT_EQ(m_model->Open(2), list);
    EXPECT_EQ(m_model->Open(static_cast<unsigned>(-1)), list);
    EXPECT_TRUE(m_model->history().empty());
    EXPECT_TRUE(m_port.calls.empty());
    EXPECT_EQ(m_model->GetText(9), "");
    EXPECT_FALSE(m_model->GetMark(9));
}

TEST_F(ListDocDocTest, SortingAClassifierLevelStillRefreshes) {
    m_model->ShowNode(0, "");
    m_model->Sort(1, true);
    EXPECT_EQ(m_observer.refreshes, 2);
    EXPECT_EQ(m_model->GetText(0), W("Право"));
}

TEST_F(ListDocDocTest, SortingADocumentListReordersIt) {
    m_model->ShowNode(0, "");
    m_model->Open(0);
    m_model->Open(0);
    ASSERT_EQ(m_model->Count(), 3);
    m_model->Sort(ShowData::kSortByDate, true);  // oldest first: no date, January, February
    EXPECT_EQ(m_model->GetNumber(0), 12);
    EXPECT_EQ(m_model->GetNumber(2), 7);
    m_model->Sort(ShowData::kSortByTitle, false);
    EXPECT_EQ(m_model->GetText(0), W("Закон 12-ФЗ О налогах"));
}

TEST_F(ListDocDocTest, SearchResultKeepsTitleAndHasNoHistory) {
    m_model->SetTitle(W("Список2"));
    ShowData::SearchRequest request;
    request.titleWords = W("налогах");
    m_model->ShowSearchResult({5, 9, 12}, request);
    EXPECT_EQ(m_model->title(), W("Список2"));
    EXPECT_FALSE(m_model->CanGoBack());
    ASSERT_EQ(m_model->Count(), 3);
    EXPECT_EQ(m_model->GetNumber(0), 5);
    EXPECT_EQ(m_model->GetNumber(1), 9);
    EXPECT_EQ(m_model->currentList()->request(), request);
    EXPECT_EQ(m_observer.refreshes, 1);
}

TEST_F(ListDocDocTest, FindCommandGoesToTheCurrentListButTheModelsOwnSlotDoesNothing) {
    m_model->ShowNode(0, "");
    m_model->Find();
    EXPECT_TRUE(m_port.searches.empty());
    m_model->FindInCurrentList();
    ASSERT_EQ(m_port.searches.size(), 1u);
    EXPECT_FALSE(m_port.searches[0].fromList);
}

TEST_F(ListDocDocTest, RemovedObserverIsNotTold) {
    m_model->RemoveObserver(&m_observer);
    m_model->ShowNode(0, "");
    EXPECT_EQ(m_observer.refreshes, 0);
    EXPECT_TRUE(m_observer.titles.empty());
}

}  // namespace
}  // namespace NorikTest
