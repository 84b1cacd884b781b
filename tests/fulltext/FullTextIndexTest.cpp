#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "TestSupport.h"
#include "fulltext/FullTextIndex.h"
#include "fulltext/FullTextQuery.h"
#include "fulltext/FullTextTerms.h"
#include "showdata/DayCode.h"

namespace Norik::FullText {
namespace {

using NorikTest::TempDir;
using ShowData::MakeDayCode;

constexpr std::int32_t kBaseDate = MakeDayCode(2024, 3, 1);

BaseIdentity Base(std::int32_t date = kBaseDate) { return {date, "0123456789abcdef-100"}; }

DocumentFields Fields(std::int16_t number, std::string type, std::string numberText, std::string title,
                      std::int32_t date, bool inForce) {
    return {number, std::move(title), std::move(type), std::move(numberText), date, inForce};
}

// A small base: a law known by its number and date, a decree with a word in its title that
// another document has only in its text, and three documents alike but for status and date.
class FullTextIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string twins = "Тарифы на перевозки пассажиров.";
        documents = {
            Fields(1, "Федеральный закон", "131-ФЗ", "Об общих принципах организации местного самоуправления",
                   MakeDayCode(2003, 10, 6), true),
            Fields(2, "Указ", "783", "О налоговом вычете", MakeDayCode(2010, 5, 1), true),
            Fields(3, "Постановление", "15", "О порядке учета расходов", MakeDayCode(2011, 1, 1), true),
            Fields(4, "Приказ", "7", "О тарифах", MakeDayCode(2010, 1, 1), false),
            Fields(5, "Приказ", "7", "О тарифах", MakeDayCode(2001, 1, 1), true),
            Fields(6, "Приказ", "7", "О тарифах", MakeDayCode(2005, 1, 1), true),
        };
        texts[1] = {"Настоящий закон устанавливает общие принципы местного самоуправления.", {}};
        texts[2] = {"Вводится порядок.", {}};
        texts[3] = {
            "Предоставление налоговых вычетов на расходы обучения.\nРазмер налоговых вычетов "
            "и иных вычетов определяется законом от 06.10.2003 N 131-ФЗ.",
            {1}};
        for (std::int16_t n = 4; n <= 6; ++n) texts[n] = {twins, {}};
        Build(folder());
    }

    std::filesystem::path folder() const { return dir.path() / "fulltext"; }

    BuildResult Build(const std::filesystem::path& where, std::int32_t date = kBaseDate) {
        return BuildIndex(where, documents,
                          [&](std::int16_t number) -> std::optional<DocumentText> {
                              auto found = texts.find(number);
                              return found == texts.end() ? std::nullopt : std::optional<DocumentText>(found->second);
                          },
                          Base(date), {});
    }

    std::vector<std::int16_t> Numbers(const std::string& query) const {
        const Searcher searcher(folder());
        std::vector<std::int16_t> numbers;
        for (const Hit& hit : searcher.Search(query, 20, 0).hits) numbers.push_back(hit.number);
        return numbers;
    }

    TempDir dir;
    std::vector<DocumentFields> documents;
    std::map<std::int16_t, DocumentText> texts;
};

TEST_F(FullTextIndexTest, NumbersDatesAndYearsAsTypedAreOneTerm) {
    const RewrittenQuery rewritten = RewriteQuery("Закон N 131-ФЗ от 06.10.2003 -№5 \"Указ 2003\" 2003");
    EXPECT_EQ(rewritten.text, "закон nrknumber:v0 от nrkdate:v1 -nrknumber:v2 \"Указ 2003\" nrkyear:v3");
    EXPECT_EQ(rewritten.values, (std::vector<std::string>{"131-ФЗ", "06.10.2003", "5", "2003"}));
    for (const char* query : {"131-ФЗ", "№ 131-ФЗ", "N 131-ФЗ", "№131-ФЗ", "131-фз"}) {
        const std::vector<std::int16_t> found = Numbers(query);
        ASSERT_FALSE(found.empty()) << query;
        // The document of that number first, then the one that cites it in its text.
        EXPECT_EQ(found, (std::vector<std::int16_t>{1, 3})) << query;
    }
    EXPECT_EQ(Numbers("06.10.2003").front(), 1);
    EXPECT_EQ(Numbers("2005 тарифы"), (std::vector<std::int16_t>{6}));
    EXPECT_EQ(Numbers("указ"), (std::vector<std::int16_t>{2}));
    EXPECT_EQ(Numbers("вычет -обучения"), (std::vector<std::int16_t>{2}));
}

TEST_F(FullTextIndexTest, AWordBeginningWithADigitIsSoughtAsANumber) {
    // "131ФЗ" typed without its blank finds the number written "131 ФЗ".
    documents.push_back(Fields(7, "Письмо", "131 ФЗ", "О разъяснении", MakeDayCode(2012, 1, 1), true));
    ASSERT_TRUE(Build(folder()).ok);
    EXPECT_EQ(Numbers("131ФЗ"), (std::vector<std::int16_t>{7}));
}

TEST_F(FullTextIndexTest, HeadingAboveTextThenInForceThenNewest) {
    EXPECT_EQ(Numbers("вычетов"), (std::vector<std::int16_t>{2, 3}));
    EXPECT_EQ(Numbers("перевозки"), (std::vector<std::int16_t>{6, 5, 4}));
}

TEST_F(FullTextIndexTest, TheDocumentOfANumberTypedComesBeforeDocumentsCitingIt) {
    // The law itself is far longer than the other documents; a short one cites it twice.
    for (int line = 0; line < 4000; ++line) texts[1].plain += "\nСтатья о порядке организации работы органов.";
    documents.push_back(Fields(7, "Письмо", "7", "О применении закона", MakeDayCode(2020, 1, 1), true));
    texts[7] = {"Федеральный закон 131-ФЗ. См. 131-ФЗ.", {}};
    for (std::int16_t n = 100; n < 400; ++n) {
        documents.push_back(Fields(n, "Письмо", std::to_string(n), "О разном", MakeDayCode(2020, 1, 1), true));
        texts[n] = {"Прочие вопросы.", {}};
    }
    ASSERT_TRUE(Build(folder()).ok);
    EXPECT_EQ(Numbers("131-ФЗ").front(), 1);
}

TEST_F(FullTextIndexTest, AYearOrADateMeetsTheDatesWrittenInTheText) {
    EXPECT_EQ(Numbers("вычетов 2003"), (std::vector<std::int16_t>{3}));
    EXPECT_EQ(Numbers("вычетов 6.10.2003"), (std::vector<std::int16_t>{3}));
    EXPECT_TRUE(Numbers("вычетов 2004").empty());
}

TEST_F(FullTextIndexTest, AWordEndingInAStarFindsEveryWordItBegins) {
    EXPECT_EQ(Numbers("тариф*"), (std::vector<std::int16_t>{6, 5, 4}));
    EXPECT_EQ(Numbers("самоуправлен* организац*"), (std::vector<std::int16_t>{1}));
    EXPECT_TRUE(Searcher(folder()).Search("тариф*", 10, 0).cutWildcards.empty());
    // A beginning of more words than are taken finds with the most frequent, and says so.
    const std::vector<std::string> letters = {"а", "б", "в", "г", "д", "е", "ж", "з", "и",
                                              "к", "л", "м", "н", "о", "п", "р", "с"};
    texts[2].plain.clear();
    for (const std::string& a : letters)
        for (const std::string& b : letters)
            for (const std::string& c : letters) texts[2].plain += "ж" + a + b + c + " ";
    ASSERT_TRUE(Build(folder()).ok);
    const SearchResult many = Searcher(folder()).Search("ж*", 10, 0);
    EXPECT_EQ(many.cutWildcards, std::vector<std::string>{"ж*"});
    ASSERT_EQ(many.hits.size(), 1u);
}

TEST_F(FullTextIndexTest, FiltersAndCountsEveryMatch) {
    const Searcher searcher(folder());
    const std::vector<std::int16_t> among = {1, 4, 6};
    const SearchResult some = searcher.Search("перевозки", 1, 0, &among);
    ASSERT_EQ(some.hits.size(), 1u);
    EXPECT_EQ(some.hits[0].number, 6);
    EXPECT_EQ(some.matches, 2u);
}

TEST_F(FullTextIndexTest, FindsOtherFormsWithMarkedPassages) {
    const SearchResult result = Searcher(folder()).Search("Налоговый вычет обучение", 10, 3);
    ASSERT_EQ(result.hits.size(), 1u);
    EXPECT_EQ(result.hits[0].number, 3);
    ASSERT_FALSE(result.hits[0].passages.empty());
    EXPECT_NE(result.hits[0].passages[0].find("<b>налоговых</b> <b>вычетов</b>"), std::string::npos)
        << result.hits[0].passages[0];
    EXPECT_EQ(Numbers("\"налоговых вычетов на расходы\""), (std::vector<std::int16_t>{3}));
}

TEST_F(FullTextIndexTest, PassagesComeFromWhereTheWordsAreInALongText) {
    // A phrase across the cut between the first two pieces (a long line is cut at a blank),
    // lines of filler far beyond a piece, a line without a blank longer than a piece, and the
    // words sought in one line deep inside.
    std::string text = "Начало.\n";
    while (text.size() < kPieceBytes - 20) text += "п ";
    text += "трудовой договор п п\n";
    ASSERT_TRUE(SplitPieces(text).front().ends_with("трудовой "));
    for (int line = 0; text.size() < 5 * kPieceBytes; ++line)
        text += "Строка " + std::to_string(line) + " обычного текста о порядке работы.\n";
    text += std::string(kPieceBytes + 100, 'x') + "\n";
    text += "Здесь говорится о земельных участках сельскохозяйственного назначения.\n";
    for (int line = 0; line < 300; ++line) text += "Продолжение текста.\n";
    documents.push_back(Fields(7, "Закон", "8", "О работе", MakeDayCode(2012, 1, 1), true));
    texts[7] = {text, {}};
    ASSERT_TRUE(Build(folder()).ok);
    const Searcher searcher(folder());
    const SearchResult deep = searcher.Search("земельного участка", 10, 3);
    ASSERT_EQ(deep.hits.size(), 1u);
    ASSERT_EQ(deep.hits[0].passages.size(), 1u);
    EXPECT_NE(deep.hits[0].passages[0].find("<b>земельных</b> <b>участках</b>"), std::string::npos)
        << deep.hits[0].passages[0];
    // The passages of one document asked for alone are the same; a document not found has none.
    EXPECT_EQ(searcher.Passages("земельного участка", 7, 3), deep.hits[0].passages);
    EXPECT_TRUE(searcher.Passages("земельного участка", 1, 3).empty());
    const SearchResult phrase = searcher.Search("\"трудовой договор\"", 10, 3);
    ASSERT_EQ(phrase.hits.size(), 1u);
    EXPECT_EQ(phrase.hits[0].number, 7);
    // The last word of the first piece is found in that piece.
    const SearchResult edge = searcher.Search("трудовой", 10, 3);
    ASSERT_EQ(edge.hits.size(), 1u);
    ASSERT_EQ(edge.hits[0].passages.size(), 1u);
    EXPECT_NE(edge.hits[0].passages[0].find("<b>трудовой</b>"), std::string::npos) << edge.hits[0].passages[0];
}

TEST_F(FullTextIndexTest, NothingFoundOffersTheNearestSpelling) {
    const Searcher searcher(folder());
    const SearchResult result = searcher.Search("самоупровления", 10, 0);
    EXPECT_TRUE(result.hits.empty());
    EXPECT_EQ(result.suggestion, "самоуправления");
    // Only the word no form of which is indexed is respelled; words in other forms, numbers,
    // operators and exclusions stay as typed.
    EXPECT_EQ(searcher.Search("Местный самоупровления 131-ФЗ -указ", 10, 0).suggestion,
              "Местный самоуправления 131-ФЗ -указ");
    // No suggestion that would find nothing either.
    EXPECT_EQ(searcher.Search("самоупровления тарифы", 10, 0).suggestion, "");
    // A word of eight letters may be three letters off.
    texts[2].plain += " Документ вводится с опубликования.";
    ASSERT_TRUE(Build(folder()).ok);
    EXPECT_EQ(Searcher(folder()).Search("дакимант", 10, 0).suggestion, "документ");
}

TEST_F(FullTextIndexTest, CitedByListsTheDocumentsLinkingThere) {
    const Searcher searcher(folder());
    EXPECT_EQ(searcher.CitedBy(1), (std::vector<std::int16_t>{3}));
    EXPECT_TRUE(searcher.CitedBy(2).empty());
    EXPECT_EQ(searcher.DocumentNumbers(), (std::vector<std::int16_t>{1, 2, 3, 4, 5, 6}));
}

TEST_F(FullTextIndexTest, StaleAndDamagedIndexesAreToldAndNeverAnswer) {
    EXPECT_EQ(CheckIndex(folder(), Base(kBaseDate)).state, IndexState::Current);
    EXPECT_EQ(CheckIndex(folder(), Base(kBaseDate + 1)).state, IndexState::Stale);
    EXPECT_EQ(CheckIndex(dir.path() / "none", Base(kBaseDate)).state, IndexState::Absent);

    NorikTest::WriteFile((folder() / "postlist.glass").string(), std::string(8192, 'x'));
    EXPECT_EQ(CheckIndex(folder(), Base(kBaseDate)).state, IndexState::Damaged);
    const SearchResult result = Searcher(folder()).Search("перевозки", 10, 0);
    EXPECT_TRUE(result.hits.empty());
    EXPECT_FALSE(result.error.empty());

    // A rebuild replaces the damaged index; a folder that is no index is never replaced.
    ASSERT_TRUE(Build(folder()).ok);
    EXPECT_EQ(CheckIndex(folder(), Base(kBaseDate)).state, IndexState::Current);
    const std::filesystem::path foreign = dir.path() / "mine";
    std::filesystem::create_directory(foreign);
    NorikTest::WriteFile((foreign / "notes.txt").string(), "keep");
    EXPECT_FALSE(Build(foreign).ok);
    EXPECT_EQ(NorikTest::ReadFile((foreign / "notes.txt").string()), "keep");
}

// The index folder swapped in a loop with a folder holding a stub database whose "remote" line
// names a program (as anyone who can write the base's folder could): no open of the index,
// whatever it meets, starts the program.
TEST_F(FullTextIndexTest, AStubSwappedInPlaceOfTheIndexStartsNothing) {
    namespace fs = std::filesystem;
    const fs::path marker = dir.path() / "started";
    const fs::path probe = dir.path() / "probe.sh";
    NorikTest::WriteFile(probe.string(), "#!/bin/sh\ntouch '" + marker.string() + "'\n");
    ASSERT_EQ(::chmod(probe.c_str(), 0700), 0);
    const fs::path stub = dir.path() / "stub";
    fs::create_directory(stub);
    NorikTest::WriteFile((stub / "XAPIANDB").string(), "remote :" + probe.string() + "\n");
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        while (!stop) ::renameat2(AT_FDCWD, folder().c_str(), AT_FDCWD, stub.c_str(), RENAME_EXCHANGE);
    });
    int answered = 0;
    for (int k = 0; k < 300; ++k) {
        (void)CheckIndex(folder(), Base());
        (void)ChooseIndex(dir.path(), Base());
        const Searcher searcher(folder());
        answered += searcher.CitedBy(1).empty() ? 0 : 1;
    }
    stop = true;
    swapper.join();
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_GT(answered, 0);
}

// A damaged index is found before anything reads it: a byte changed inside a block, the stamp
// grown into a sparse file of gigabytes, an index of another base of the same date.
TEST_F(FullTextIndexTest, DamageAndAnotherBasesIndexAreFoundBeforeAnySearch) {
    const std::string postlist = (folder() / "postlist.glass").string();
    std::string bytes = NorikTest::ReadFile(postlist);
    ASSERT_GE(bytes.size(), 8192u);
    // A leaf block's entries, past the block's header.
    bytes[bytes.size() - 8192 + 200] ^= 0x5A;
    bytes[bytes.size() - 8192 + 300] ^= 0x5A;
    NorikTest::WriteFile(postlist, bytes);
    const IndexCheck damaged = CheckIndex(folder(), Base());
    EXPECT_EQ(damaged.state, IndexState::Damaged);
    EXPECT_NE(damaged.why.find("check"), std::string::npos) << damaged.why;
    EXPECT_FALSE(Searcher(folder()).ok());

    ASSERT_TRUE(Build(folder()).ok);
    const auto start = std::chrono::steady_clock::now();
    std::filesystem::resize_file(folder() / "norik-fulltext.stamp", std::uintmax_t{3} << 30);
    EXPECT_EQ(CheckIndex(folder(), Base()).state, IndexState::Damaged);
    EXPECT_FALSE(Searcher(folder()).ok());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    ASSERT_TRUE(Build(folder()).ok);
    const IndexCheck other = CheckIndex(folder(), {kBaseDate, "0123456789abcdef-101"});
    EXPECT_EQ(other.state, IndexState::Stale);
    EXPECT_NE(other.why.find("another base"), std::string::npos) << other.why;
    // The key follows the document table's bytes and the container's size.
    NorikTest::WriteFile(dir.file("Items.ttx"), "3\n1 2 3 x\n");
    NorikTest::WriteFile(dir.file("Norik.sdb"), "container");
    std::string why;
    const std::string key = BaseKey(dir.file("Items.ttx"), dir.file("Norik.sdb"), why);
    EXPECT_FALSE(key.empty()) << why;
    NorikTest::WriteFile(dir.file("Items.ttx"), "3\n1 2 3 y\n");
    EXPECT_NE(BaseKey(dir.file("Items.ttx"), dir.file("Norik.sdb"), why), key);
    EXPECT_TRUE(BaseKey(dir.file("none.ttx"), dir.file("Norik.sdb"), why).empty());
}

// A distance out of range is refused; a query of thousands of words is searched by its first
// words only, and says so.
TEST_F(FullTextIndexTest, AFarDistanceIsRefusedAndAHugeQueryIsCut) {
    const Searcher searcher(folder());
    EXPECT_EQ(searcher.Search("налоговых NEAR/3 вычетов", 10, 0).hits.size(), 1u);
    for (const char* query :
         {"налоговых NEAR/4294967295 вычетов", "налоговых ADJ/0 вычетов", "a NEAR/99999999999999999999 b"}) {
        const SearchResult refused = searcher.Search(query, 10, 0);
        EXPECT_TRUE(refused.hits.empty()) << query;
        EXPECT_NE(refused.error.find("cannot be understood"), std::string::npos) << query << ": " << refused.error;
    }
    EXPECT_TRUE(searcher.ok());

    std::string words = "перевозки";
    for (int k = 0; k < 3000; ++k) words += " " + std::to_string(k);
    const SearchResult cut = searcher.Search(words, 10, 1);
    EXPECT_EQ(cut.wordsLeftOut, 3001 - kMaxQueryWords);
    EXPECT_TRUE(cut.error.empty()) << cut.error;
    std::string tail = "перевозки " + std::string(kMaxQueryBytes, 'z');
    EXPECT_EQ(searcher.Search(tail, 10, 0).wordsLeftOut, 1u);
    EXPECT_EQ(searcher.Search("перевозки", 10, 0).wordsLeftOut, 0u);
}

// A base large enough to be written in several parts, merged at the end: every document, its
// passages, its links and its words' spellings are found whichever part held it; a build stopped
// midway leaves nothing behind.
TEST(FullTextPartsTest, AnIndexWrittenInPartsAnswersAsOneAndAStoppedBuildLeavesNothing) {
    TempDir dir;
    std::vector<DocumentFields> documents;
    // Table order is not number order; negative numbers have the highest ids.
    for (int k = 0; k < 1500; ++k) {
        const auto number = static_cast<std::int16_t>((k * 7919) % 1500 - 300);
        documents.push_back(Fields(number, "Приказ", std::to_string(k), "О порядке номер " + std::to_string(k),
                                   MakeDayCode(2001, 1, 1), true));
    }
    const std::string longText = std::string(40000, ' ') + "Особый регламент переправы.";
    const TextSource textOf = [&](std::int16_t number) -> std::optional<DocumentText> {
        if (number == -300) return DocumentText{"Единственный документ о переправах.", {1199}};
        if (number == 1199) return DocumentText{longText, {-300}};
        return DocumentText{"Обычный текст приказа.", {}};
    };
    const std::filesystem::path folder = dir.path() / "fulltext";
    std::size_t seen = 0;
    const BuildResult stopped = BuildIndex(folder, documents, textOf, Base(), [&](std::size_t done, std::size_t) {
        seen = done;
        return done < 300;
    });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_GE(seen, 300u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    ASSERT_TRUE(BuildIndex(folder, documents, textOf, Base(), {}).ok);
    const Searcher searcher(folder);
    EXPECT_EQ(searcher.DocumentNumbers().size(), 1500u);
    const SearchResult found = searcher.Search("переправа", 10, 1);
    ASSERT_EQ(found.hits.size(), 2u);
    for (const Hit& hit : found.hits) {
        ASSERT_EQ(hit.passages.size(), 1u) << hit.number;
        EXPECT_NE(hit.passages[0].find("<b>"), std::string::npos) << hit.passages[0];
    }
    EXPECT_EQ(searcher.CitedBy(-300), (std::vector<std::int16_t>{1199}));
    EXPECT_EQ(searcher.CitedBy(1199), (std::vector<std::int16_t>{-300}));
    EXPECT_EQ(searcher.Search("регламинт", 10, 0).suggestion, "регламент");
    EXPECT_EQ(searcher.Search("единствинный", 10, 0).suggestion, "единственный");
    // The count is of every match, not an estimate from the few asked for.
    EXPECT_EQ(searcher.Search("переправа OR обычный", 1, 0).matches, 1500u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(FullTextIndexTest, AnIndexInPlaceRemovesTheCachesSupersededOnesOfItsBaseOnly) {
    namespace fs = std::filesystem;
    const fs::path cache = dir.path() / "cache";
    const std::string key = "0123456789abcdef-";
    const fs::path current = cache / (key + "20240301");
    ASSERT_TRUE(Build(current).ok);
    // Removed: another date of the same base folder, and indexes set aside as damaged.
    const std::vector<fs::path> superseded = {cache / (key + "20240201"), cache / (key + "20240301.damaged"),
                                              cache / (key + "20231201.damaged-2")};
    for (const fs::path& folder : superseded) ASSERT_TRUE(Build(folder, kBaseDate - 30).ok);
    // Kept: another base folder's, a name of another form, a folder holding a file of someone
    // else's, and a link to an index (the index it leads to stays whole).
    const std::vector<fs::path> kept = {cache / "fedcba9876543210-20240201", cache / (key + "20240201.old"),
                                        cache / (key + "20240101"), dir.path() / "elsewhere"};
    for (const fs::path& folder : kept) ASSERT_TRUE(Build(folder, kBaseDate - 30).ok);
    NorikTest::WriteFile((kept[2] / "notes.txt").string(), "keep");
    fs::create_directory_symlink(kept[3], cache / (key + "20230101"));

    EXPECT_EQ(RemoveSupersededIndexes(current), superseded.size());
    for (const fs::path& folder : superseded) EXPECT_FALSE(fs::exists(folder)) << folder;
    EXPECT_EQ(CheckIndex(current, Base(kBaseDate)).state, IndexState::Current);
    for (const fs::path& folder : kept) EXPECT_TRUE(fs::exists(folder / "postlist.glass")) << folder;
    EXPECT_TRUE(fs::is_symlink(cache / (key + "20230101")));
    EXPECT_EQ(CheckIndex(kept[3], Base(kBaseDate - 30)).state, IndexState::Current);

    // A damaged index set aside takes the next free name.
    EXPECT_EQ(SetIndexAside(kept[2]).filename(), key + "20240101.damaged");
    ASSERT_TRUE(Build(kept[2], kBaseDate - 30).ok);
    EXPECT_EQ(SetIndexAside(kept[2]).filename(), key + "20240101.damaged-2");
}

TEST(WordFormMatcherTest, MarksEveryFormOfTheQueryWordsInUtf16Offsets) {
    const WordFormMatcher matcher("\"Налоговый вычет\" 131-ФЗ -расходы NOT учета");
    const std::u16string text = u"𝄞 Налоговых вычетов, расходы учета; вычеты.";
    using Span = std::pair<std::size_t, std::size_t>;
    EXPECT_EQ(matcher.FindAll(text), (std::vector<Span>{{3, 12}, {13, 20}, {37, 43}}));
    EXPECT_TRUE(WordFormMatcher("131-ФЗ -вычет").empty());
    // Short words the search does not require are not marked; a word ending in "*" marks every
    // word it begins.
    EXPECT_EQ(WordFormMatcher("вычет на обучение").FindAll(u"вычеты на обучение"),
              (std::vector<Span>{{0, 6}, {10, 18}}));
    EXPECT_EQ(WordFormMatcher("земельн*").FindAll(u"земля, земельных"), (std::vector<Span>{{7, 16}}));
    EXPECT_EQ(WordFormMatcher("договора 2016").FindAll(u"от 17.10.2016 N 5, 2015"), (std::vector<Span>{{9, 13}}));
}

}  // namespace
}  // namespace Norik::FullText
