// Evaluation of search requests against a small set of indexes written by the test.
#include <gtest/gtest.h>

#include <cstring>

#include "Helpers/Cp1251.h"
#include "TestSupport.h"
#include "index/IndexBuilder.h"
#include "search/SearchEvaluation.h"

namespace {

using IndexSpace::DocNumberList;
using ShowData::EvaluateSearchRequest;
using ShowData::SearchRequest;

std::string W(const char* utf8) { return Norik::Utf8ToCp1251(utf8); }

// Documents 1..6:
//   1 section 10, "12-ФЗ",  Федеральный закон, title "О налогах",          text "налог кодекс",  day 500, in force
//   2 section 10, "123",    Федеральный закон, title "О закона изменении", text "закон",          day 500, not in force
//   3 section 20, "12",     Указ,              title "О налоговом кодексе", text "кодекс налоги", day 600, in force
//   4 section 20, "45/12",  Указ,              title "Об охране",           text "охрана",        day 700, in force
//   5 section 10, "1",      Постановление,     title "О порядке",           text "порядок",       day 700, not in force
//  -3 section 30, "Т-1",    Приказ,            title "О порядке налогов",   text "налог",         day 500, in force
class SearchEvaluation : public ::testing::Test {
protected:
    void SetUp() override {
        struct Doc {
            int number, section;
            const char *numberText, *type, *title, *text;
            int day, inForce;
        };
        const Doc docs[] = {
            {1, 10, "12-ФЗ", "Федеральный закон", "О налогах", "налог кодекс", 500, 1},
            {2, 10, "123", "Федеральный закон", "О закона изменении", "закон", 500, 0},
            {3, 20, "12", "Указ", "О налоговом кодексе", "кодекс налоги", 600, 1},
            {4, 20, "45/12", "Указ", "Об охране", "охрана", 700, 1},
            {5, 10, "1", "Постановление", "О порядке", "порядок", 700, 0},
            {-3, 30, "Т-1", "Приказ", "О порядке налогов", "налог", 500, 1},
        };
        Norik::IndexBuilder classes, titles, numbers, texts, types, dates, inForce;
        for (const Doc& d : docs) {
            const auto n = static_cast<IndexSpace::DocNumber>(d.number);
            classes.Add(d.section, n);
            numbers.Add(IndexSpace::StrHash(W(d.numberText)), n);
            types.Add(IndexSpace::StrHash(W(d.type)), n);
            for (const std::string& word : IndexSpace::SplitWords(W(d.title)))
                if (IndexSpace::WordHash(word) != 0) titles.Add(IndexSpace::WordHash(word), n);
            for (const std::string& word : IndexSpace::SplitWords(W(d.text)))
                if (IndexSpace::WordHash(word) != 0) texts.Add(IndexSpace::WordHash(word), n);
            dates.Add(d.day, n);
            inForce.Add(d.inForce, n);
        }
        Bind(m_classes, classes, "clasidx");
        Bind(m_titles, titles, "titidx");
        Bind(m_numbers, numbers, "numbidx");
        Bind(m_texts, texts, "index");
        Bind(m_types, types, "typeidx");
        Bind(m_dates, dates, "date_beg");
        Bind(m_inForce, inForce, "work_now");
    }

    void Bind(IndexSpace::IIndexInt& handle, const Norik::IndexBuilder& builder, const char* name) {
        const std::string path = m_dir.file(std::string(name) + ".ttx");
        ASSERT_EQ(builder.WriteFile(path), Norik::kOk);
        handle.SetFile(path);
    }

    DocNumberList Evaluate(const SearchRequest& request) { return EvaluateSearchRequest(request, m_indexes); }

    NorikTest::ErrorLogCapture m_log;
    NorikTest::TempDir m_dir;
    IndexSpace::IIndexInt m_classes, m_dates, m_inForce;
    IndexSpace::IIndexLongStr m_titles, m_texts;
    IndexSpace::IIndexStr m_numbers, m_types;
    ShowData::SearchIndexes m_indexes{m_classes, m_titles, m_numbers, m_texts, m_types, m_dates, m_inForce};
};

TEST_F(SearchEvaluation, NoCriterionThrowsTheMessage) {
    for (const auto& [allWords, area] : {std::pair{1, 0}, std::pair{0, 1}}) {
        SearchRequest request;
        request.allWords = allWords;
        request.searchArea = area;
        try {
            Evaluate(request);
            ADD_FAILURE() << "no exception";
        } catch (const char* message) {
            EXPECT_EQ(message, ShowData::NoSearchCriteriaMessage());
            EXPECT_EQ(Norik::Cp1251ToUtf8(message), "Не заданы реквизиты поиска!");
        }
    }
}

TEST_F(SearchEvaluation, SectionAloneIsItsPostingList) {
    SearchRequest request;
    request.classId = 10;
    EXPECT_EQ(Evaluate(request), (DocNumberList{1, 2, 5}));
    request.classId = 11;
    EXPECT_EQ(Evaluate(request), DocNumberList{});
}

TEST_F(SearchEvaluation, CriteriaCombineWithAnd) {
    SearchRequest request;
    request.classId = 10;
    request.inForce = 1;
    EXPECT_EQ(Evaluate(request), (DocNumberList{1}));
    request = {};
    request.inForce = 1;
    request.dateOfIntroduction = 500;
    EXPECT_EQ(Evaluate(request), (DocNumberList{-3, 1}));
    request.textWords = W("налог");
    request.titleWords = W("порядке");
    EXPECT_EQ(Evaluate(request), (DocNumberList{-3}));
    request.type = W("Указ");
    EXPECT_EQ(Evaluate(request), DocNumberList{});
}

TEST_F(SearchEvaluation, TitleWordsAllOrAny) {
    SearchRequest request;
    request.titleWords = W("налог порядке");
    EXPECT_EQ(Evaluate(request), (DocNumberList{-3}));
    request.allWords = 0;
    EXPECT_EQ(Evaluate(request), (DocNumberList{-3, 1, 3, 5}));
}

TEST_F(SearchEvaluation, AbsentTitleWordEmptiesAllWordsOnly) {
    SearchRequest request;
    request.titleWords = W("охране\tпаспорт");
    EXPECT_EQ(Evaluate(request), DocNumberList{});
    request.allWords = 0;
    EXPECT_EQ(Evaluate(request), (DocNumberList{4}));
}

TEST_F(SearchEvaluation, OnlyShortWordsFindNothing) {
    SearchRequest request;
    request.titleWords = W("О об в");
    EXPECT_EQ(Evaluate(request), DocNumberList{});
    request.allWords = 0;
    EXPECT_EQ(Evaluate(request), DocNumberList{});
}

TEST_F(SearchEvaluation, NumberIsAPrefixCutAtTheAsterisk) {
    SearchRequest request;
    request.numberText = "12";
    EXPECT_EQ(Evaluate(request), (DocNumberList{1, 2, 3}));
    request.numberText = "12*3";
    EXPECT_EQ(Evaluate(request), (DocNumberList{1, 2, 3}));
    request.numberText = "123*";
    EXPECT_EQ(Evaluate(request), (DocNumberList{2}));
    request.numberText = W("Т-*");
    EXPECT_EQ(Evaluate(request), (DocNumberList{-3}));
}

TEST_F(SearchEvaluation, NumberStartingWithAsteriskConstrainsNothing) {
    SearchRequest request;
    request.numberText = "*12";
    EXPECT_EQ(Evaluate(request), DocNumberList{});  // the only criterion: no exception either
    request.classId = 20;
    EXPECT_EQ(Evaluate(request), (DocNumberList{3, 4}));
}

TEST_F(SearchEvaluation, TypeIsAPrefix) {
    SearchRequest request;
    request.type = W("Фед");
    EXPECT_EQ(Evaluate(request), (DocNumberList{1, 2}));
    request.type = W("П");
    EXPECT_EQ(Evaluate(request), (DocNumberList{-3, 5}));
    request.type = W("А");  // hashes to 0: nothing, without an exception
    EXPECT_EQ(Evaluate(request), DocNumberList{});
    request.type = W(" Фед");  // a leading blank is part of the type: no stored type starts so
    EXPECT_EQ(Evaluate(request), DocNumberList{});
}

// Dates of introduction from one day to another, both included; either end may stay open, a date
// range alone is a search, and it narrows the other criteria. A document without a date (day 0) is
// in no range.
TEST_F(SearchEvaluation, DateRangeIncludesBothEndsAndCombinesWithTheOthers) {
    EXPECT_EQ(Evaluate({.introducedFrom = 600, .introducedTo = 700}), (DocNumberList{3, 4, 5}));
    EXPECT_EQ(Evaluate({.introducedFrom = 501, .introducedTo = 699}), (DocNumberList{3}));
    EXPECT_EQ(Evaluate({.introducedFrom = 650}), (DocNumberList{4, 5}));
    EXPECT_EQ(Evaluate({.introducedTo = 500}), (DocNumberList{-3, 1, 2}));
    EXPECT_EQ(Evaluate({.type = W("Указ"), .introducedTo = 650}), (DocNumberList{3}));
    EXPECT_EQ(Evaluate({.introducedFrom = 700, .introducedTo = 600}), DocNumberList{});

    Norik::IndexBuilder dates;
    dates.Add(0, 6);
    dates.Add(500, 1);
    Bind(m_dates, dates, "date_beg");
    EXPECT_EQ(Evaluate({.introducedTo = 600}), (DocNumberList{1}));
}

TEST_F(SearchEvaluation, LookupsRunInOrderAndStopAtTheFirstMiss) {
    // Every criterion of this request matches document 1.
    SearchRequest hit;
    hit.classId = 10;
    hit.titleWords = W("налогах");
    hit.numberText = W("12-ФЗ");
    hit.textWords = W("налог");
    hit.type = W("Федеральный");
    hit.dateOfIntroduction = 500;
    hit.inForce = 1;
    IndexSpace::IIndexInt* const order[] = {&m_classes, &m_titles, &m_numbers, &m_texts,
                                            &m_types,   &m_dates,  &m_inForce};
    for (int missing = -1; missing < 7; ++missing) {
        for (IndexSpace::IIndexInt* handle : order) handle->SetFile(handle->fileName());  // unloaded again
        SearchRequest request = hit;
        switch (missing) {
            case 0:
                request.classId = 11;
                break;
            case 1:
                request.titleWords = W("паспорт");
                break;
            case 2:
                request.numberText = "99";
                break;
            case 3:
                request.textWords = W("паспорт");
                break;
            case 4:
                request.type = W("Закон");
                break;
            case 5:
                request.dateOfIntroduction = 501;
                break;
            case 6:
                request.inForce = 5;
                break;
            default:
                break;
        }
        EXPECT_EQ(Evaluate(request), missing < 0 ? DocNumberList{1} : DocNumberList{}) << missing;
        // The indexes up to the one that found nothing were read; none after it.
        for (int i = 0; i < 7; ++i) EXPECT_EQ(order[i]->isLoaded(), missing < 0 || i <= missing) << missing << i;
    }
}

// An index that cannot be read whole is no "nothing found": the evaluation names it instead.
TEST_F(SearchEvaluation, AnIndexThatCannotBeReadWholeLeavesNoAnswer) {
    NorikTest::WriteFile(m_dir.file("cut.ttx"), NorikTest::ReadFile(m_dir.file("index.ttx")).substr(0, 30));
    const struct {
        const char* label;
        IndexSpace::IIndexInt* handle;
        const char* file;
        SearchRequest request;
        const char* damagedIndex;  // null: the answer below is sound
        DocNumberList found;
    } cases[] = {
        {"missing",
         &m_dates,
         "gone.ttx",
         [] {
             SearchRequest r;
             r.classId = 10;
             r.dateOfIntroduction = 500;
             return r;
         }(),
         "date_beg",
         {}},
        {"cut but finding",
         &m_texts,
         "cut.ttx",
         [] {
             SearchRequest r;
             r.textWords = W("кодекс");
             return r;
         }(),
         "index",
         {}},
        {"cut and any word",
         &m_texts,
         "cut.ttx",
         [] {
             SearchRequest r;
             r.textWords = W("паспорт");
             r.allWords = 0;
             return r;
         }(),
         "index",
         {}},
        {"not consulted",
         &m_texts,
         "gone.ttx",
         [] {
             SearchRequest r;
             r.classId = 20;
             return r;
         }(),
         nullptr,
         {3, 4}},
        {"after a miss",
         &m_dates,
         "gone.ttx",
         [] {
             SearchRequest r;
             r.classId = 99;
             r.dateOfIntroduction = 500;
             return r;
         }(),
         nullptr,
         {}},
    };
    for (const auto& c : cases) {
        const std::string original = c.handle->fileName();
        c.handle->SetFile(m_dir.file(c.file));
        try {
            EXPECT_EQ(Evaluate(c.request), c.found) << c.label;
            EXPECT_EQ(c.damagedIndex, nullptr) << c.label;
        } catch (const ShowData::SearchIndexDamaged& damaged) {
            ASSERT_NE(c.damagedIndex, nullptr) << c.label;
            EXPECT_EQ(damaged.indexName(), c.damagedIndex) << c.label;
            EXPECT_EQ(damaged.damage().file, m_dir.file(c.file)) << c.label;
        }
        c.handle->SetFile(original);
    }
}

TEST_F(SearchEvaluation, WordCriterionOnTexts) {
    SearchRequest request;
    request.textWords = W("кодекс, налог");
    EXPECT_EQ(Evaluate(request), (DocNumberList{1, 3}));
    request.textWords = W("закон охрана");
    request.allWords = 0;
    EXPECT_EQ(Evaluate(request), (DocNumberList{2, 4}));
}

TEST(SearchIntersection, KeepsCommonNumbersInSignedOrder) {
    EXPECT_EQ(ShowData::IntersectDocLists({-9, -1, 0, 4, 7}, {-9, 0, 3, 7, 8}), (DocNumberList{-9, 0, 7}));
    EXPECT_EQ(ShowData::IntersectDocLists({}, {1}), DocNumberList{});
}

TEST(SearchProcessWide, EvaluatesAgainstTheBoundHandles) {
    NorikTest::TempDir dir;
    Norik::IndexBuilder builder;
    builder.Add(4, 9);
    builder.Add(4, 2);
    ASSERT_EQ(builder.WriteFile(dir.file("clasidx.ttx")), Norik::kOk);
    IndexSpace::IIndexInt* classes = IndexSpace::IndexByName("clasidx");
    classes->SetFile(dir.file("clasidx.ttx"));
    SearchRequest request;
    request.classId = 4;
    EXPECT_EQ(EvaluateSearchRequest(request), (DocNumberList{2, 9}));
}

}  // namespace
