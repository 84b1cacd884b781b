// Runs the norik-tool executable on small bases made by the tool itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "TestSupport.h"
#include "builder/ContainerWriter.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int exit = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class NorikToolTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new NorikTest::TempDir();
        const Result made = Run({"sample", Base(), "--documents", "40", "--seed", "3"});
        ASSERT_EQ(made.exit, 0) << made.err;
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static std::string Base() { return s_dir->folder() + "base"; }

    static Result Run(const std::vector<std::string>& arguments) {
        // A command that waits for ever (on a FIFO, say) fails the test instead of hanging it.
        std::string command = "timeout 120 " + Quote(std::string(NORIK_BINARY_DIR) + "/norik-tool");
        for (const std::string& a : arguments) command += " " + Quote(a);
        const std::string errPath = s_dir->file("stderr.txt");
        command += " 2>" + Quote(errPath);
        const NorikTest::CommandResult run = NorikTest::RunShell(command);
        return Result{run.status, run.output, NorikTest::ReadFile(errPath)};
    }
    static Result OnBase(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--base", Base()});
        return Run(arguments);
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream stream(text);
        for (std::string line; std::getline(stream, line);) lines.push_back(line);
        return lines;
    }

    static NorikTest::TempDir* s_dir;
    NorikTest::ErrorLogCapture m_log;
};

NorikTest::TempDir* NorikToolTest::s_dir = nullptr;

TEST_F(NorikToolTest, InfoPrintsTheFourFiguresOfTheBase) {
    const Result r = OnBase({"info"});
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "Документов: 40");
    EXPECT_EQ(lines[1], "Дата последнего обновления: 30/6/2025");
    EXPECT_EQ(lines[2].rfind("Проиндексировано слов: ", 0), 0u);
    EXPECT_GT(std::stoi(lines[2].substr(lines[2].rfind(' '))), 500);
    EXPECT_EQ(lines[3].rfind("Средний словарный запас: ", 0), 0u);
}

TEST_F(NorikToolTest, ClassifierAndListsFollowTheTables) {
    const Result classes = OnBase({"classifier"});
    ASSERT_EQ(classes.exit, 0) << classes.err;
    const std::vector<std::string> lines = Lines(classes.out);
    ASSERT_GT(lines.size(), 140u);
    EXPECT_EQ(lines[0], "1\tКонституционный строй");
    EXPECT_EQ(lines[2], "3\tКонституционный строй-Основы конституционного строя-Конституция Российской Федерации");

    // Find a section with at least two documents through the search, then list it.
    for (const std::string& line : lines) {
        const std::string id = line.substr(0, line.find('\t'));
        const Result found = OnBase({"search", "--section", id});
        if (found.exit != 0 || Lines(found.out).size() < 2) continue;
        const Result byNumber = OnBase({"list", id, "--sort", "number"});
        ASSERT_EQ(byNumber.exit, 0) << byNumber.err;
        const std::vector<std::string> rows = Lines(byNumber.out);
        EXPECT_EQ(rows.size(), Lines(found.out).size());
        const Result descending = OnBase({"list", id, "--sort", "title", "--descending"});
        const std::vector<std::string> titles = Lines(descending.out);
        ASSERT_EQ(titles.size(), rows.size());
        for (const std::string& row : titles) {
            EXPECT_NE(row.find('\t'), std::string::npos);
            EXPECT_NE(std::find(rows.begin(), rows.end(), row), rows.end());
        }
        return;
    }
    FAIL() << "no section with two documents";
}

TEST_F(NorikToolTest, SearchExitCodesAndRestriction) {
    const Result none = OnBase({"search"});
    EXPECT_EQ(none.exit, 2);
    EXPECT_EQ(none.err, "Не заданы реквизиты поиска!\n");

    const Result nothing = OnBase({"search", "--title", "Щщщщщщ"});
    EXPECT_EQ(nothing.exit, 1);
    EXPECT_EQ(nothing.err, "По Вашему запросу ничего не найдено!\n");

    const Result inForce = OnBase({"search", "--status", "in-force"});
    const Result notInForce = OnBase({"search", "--status", "not-in-force"});
    ASSERT_EQ(inForce.exit, 0);
    ASSERT_EQ(notInForce.exit, 0);
    std::vector<int> all;
    for (const std::string& line : Lines(inForce.out)) all.push_back(std::stoi(line));
    for (const std::string& line : Lines(notInForce.out)) all.push_back(std::stoi(line));
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), 40u);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(all[static_cast<std::size_t>(i)], i + 1);
    const std::vector<std::string> active = Lines(inForce.out);
    EXPECT_TRUE(std::is_sorted(active.begin(), active.end(),
                               [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); }));

    const Result within =
        OnBase({"search", "--status", "in-force", "--within", active.front() + ",9999," + active.back()});
    EXPECT_EQ(within.exit, 0);
    EXPECT_EQ(Lines(within.out), (std::vector<std::string>{active.front(), active.back()}));
}

// A range of dates of introduction, the day on the card of a document at both ends; a date the
// calendar lacks is a command line not understood.
TEST_F(NorikToolTest, SearchByDatesOfIntroduction) {
    const Result card = OnBase({"card", "1"});
    ASSERT_EQ(card.exit, 0) << card.err;
    const std::size_t at = card.out.find("Дата введения:");
    ASSERT_NE(at, std::string::npos) << card.out;
    const std::string date = card.out.substr(card.out.find_first_of("0123456789", at), 10);
    const Result day = OnBase({"search", "--date-from", date, "--date-to", date});
    ASSERT_EQ(day.exit, 0) << day.err;
    const std::vector<std::string> found = Lines(day.out);
    EXPECT_NE(std::find(found.begin(), found.end(), "1"), found.end()) << date;
    EXPECT_LT(found.size(), 40u);
    EXPECT_EQ(OnBase({"search", "--date-from", "29.02.2023"}).exit, 64);
}

TEST_F(NorikToolTest, CatAndCardShowTheDocument) {
    const Result rtf = OnBase({"cat", "7"});
    ASSERT_EQ(rtf.exit, 0) << rtf.err;
    EXPECT_EQ(rtf.out.rfind("{\\rtf1", 0), 0u);
    const Result text = OnBase({"cat", "7", "--text"});
    ASSERT_EQ(text.exit, 0) << text.err;
    EXPECT_EQ(text.out.find("{\\rtf"), std::string::npos);
    EXPECT_NE(text.out.find("\nот "), std::string::npos) << text.out.substr(0, 300);

    // The text written to a source folder is the text in the container.
    const std::string source = s_dir->folder() + "source";
    ASSERT_EQ(Run({"sample", source, "--documents", "40", "--seed", "3", "--source"}).exit, 0);
    EXPECT_EQ(NorikTest::ReadFile(source + "/texts/000007.rtf"), rtf.out);

    const Result card = OnBase({"card", "7"});
    ASSERT_EQ(card.exit, 0) << card.err;
    EXPECT_NE(card.out.find("Дата введения:"), std::string::npos);
    EXPECT_NE(card.out.find("Классификатор:"), std::string::npos);
    EXPECT_NE(card.out.find("\n- "), std::string::npos);
    EXPECT_TRUE(card.out.find("Действующий") != std::string::npos ||
                card.out.find("Недействующий") != std::string::npos);

    const Result unknown = OnBase({"cat", "4000"});
    EXPECT_NE(unknown.exit, 0);
    EXPECT_EQ(Lines(unknown.err).size(), 1u);
}

TEST_F(NorikToolTest, LinksListsTheDocumentsLinkedToInTheOrderOfTheirFirstLinks) {
    // Worked out from the stored text: the targets of its links, each at its first appearance.
    const std::string rtf = OnBase({"cat", "13"}).out;
    std::vector<std::string> expected;
    const std::string field = "HYPERLINK \"";
    for (std::size_t at = 0; (at = rtf.find(field, at)) != std::string::npos;) {
        at += field.size();
        const std::string target = rtf.substr(at, rtf.find('"', at) - at);
        if (std::find(expected.begin(), expected.end(), target) == expected.end() && target != "13")
            expected.push_back(target);
    }
    ASSERT_GE(expected.size(), 2u) << "document 13 should link to several documents";
    const Result links = OnBase({"links", "13"});
    ASSERT_EQ(links.exit, 0) << links.err;
    EXPECT_EQ(Lines(links.out), expected);
    EXPECT_NE(OnBase({"links", "4000"}).exit, 0);
}

TEST_F(NorikToolTest, BuildFromASourceFolderGivesTheSameBase) {
    const std::string source = s_dir->folder() + "source2";
    ASSERT_EQ(Run({"sample", source, "--documents", "40", "--seed", "3", "--source"}).exit, 0);
    const std::string out = s_dir->folder() + "built";
    const Result built = Run({"build", source, out});
    ASSERT_EQ(built.exit, 0) << built.err;
    for (const char* name : {"Items.ttx", "class.ttx", "index.ttx", "titidx.ttx", "clasidx.ttx", "numbidx.ttx"})
        EXPECT_EQ(NorikTest::ReadFile(out + "/" + name), NorikTest::ReadFile(Base() + "/" + name)) << name;
    const Result verified = Run({"--base", out, "verify"});
    EXPECT_EQ(verified.exit, 0) << verified.out;
}

// A long command shows its progress on a terminal only: through a pipe, its final line alone.
TEST_F(NorikToolTest, ProgressOnATerminalOnlyThenTheFinalLine) {
    const std::string tool = Quote(std::string(NORIK_BINARY_DIR) + "/norik-tool");
    const NorikTest::CommandResult onTerminal = NorikTest::RunShell(
        "timeout 120 script -qec " + Quote(tool + " --base " + Quote(Base()) + " verify") + " /dev/null");
    ASSERT_EQ(onTerminal.status, 0) << onTerminal.output;
    EXPECT_NE(onTerminal.output.find("\rverify: 100% (40 of 40)\x1b[K\r\x1b[KOK: 40 documents"), std::string::npos)
        << onTerminal.output;

    const Result piped = OnBase({"verify"});
    ASSERT_EQ(piped.exit, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(Lines(piped.out).size(), 1u) << piped.out;
}

TEST_F(NorikToolTest, DocumentNumberZeroIsBuiltAndReadLikeAnyOther) {
    const std::string source = s_dir->folder() + "zero";
    ASSERT_EQ(Run({"sample", source, "--documents", "10", "--seed", "4", "--source"}).exit, 0);
    // Document 1 becomes document 0, the first row of Items, with its text in 000000.rtf.
    std::string items = NorikTest::ReadFile(source + "/Items.ttx");
    for (std::size_t at = 0; (at = items.find("\n1 ", at)) != std::string::npos; ++at) items[at + 1] = '0';
    NorikTest::WriteFile(source + "/Items.ttx", items);
    fs::rename(source + "/texts/000001.rtf", source + "/texts/000000.rtf");
    const std::string text = NorikTest::ReadFile(source + "/texts/000000.rtf");
    const std::string out = s_dir->folder() + "zero-base";
    const Result built = Run({"build", source, out});
    ASSERT_EQ(built.exit, 0) << built.err;
    EXPECT_EQ(Run({"--base", out, "verify"}).exit, 0);

    const Result rtf = Run({"--base", out, "cat", "0"});
    ASSERT_EQ(rtf.exit, 0) << rtf.err;
    EXPECT_EQ(rtf.out, text);
    const Result card = Run({"--base", out, "card", "0"});
    ASSERT_EQ(card.exit, 0) << card.err;
    EXPECT_NE(card.out.find("Классификатор:"), std::string::npos);
    const Result info = Run({"--base", out, "info"});
    EXPECT_EQ(Lines(info.out).at(0), "Документов: 10");
    const Result inForce = Run({"--base", out, "search", "--status", "in-force"});
    const Result notInForce = Run({"--base", out, "search", "--status", "not-in-force"});
    const std::vector<std::string> found = Lines(inForce.out + notInForce.out);
    EXPECT_NE(std::find(found.begin(), found.end(), "0"), found.end()) << inForce.out << notInForce.out;
    EXPECT_EQ(std::find(found.begin(), found.end(), "1"), found.end());
}

TEST_F(NorikToolTest, ABaseWithoutDocumentsShowsZeroFigures) {
    const std::string source = s_dir->folder() + "empty";
    ASSERT_EQ(Run({"sample", source, "--documents", "3", "--source"}).exit, 0);
    NorikTest::WriteFile(source + "/Items.ttx", "0\n");
    fs::remove_all(source + "/texts");
    const std::string out = s_dir->folder() + "empty-base";
    ASSERT_EQ(Run({"build", source, out}).exit, 0);
    EXPECT_EQ(Run({"--base", out, "verify"}).exit, 0);
    const Result info = Run({"--base", out, "info"});
    EXPECT_EQ(info.exit, 0) << info.err;
    EXPECT_EQ(Lines(info.out), (std::vector<std::string>{"Документов: 0", "Дата последнего обновления: 30/6/2025",
                                                         "Проиндексировано слов: 0", "Средний словарный запас: 0"}));
    const Result none = Run({"--base", out, "search", "--status", "in-force"});
    EXPECT_EQ(none.exit, 1);
    EXPECT_EQ(none.err, "По Вашему запросу ничего не найдено!\n");
}

TEST_F(NorikToolTest, FailuresEndWithOneLineAndLeaveNoOutput) {
    // File names are UTF-8 bytes; messages carry them unchanged.
    const std::string source = s_dir->folder() + "испорченный";
    ASSERT_EQ(Run({"sample", source, "--documents", "10", "--source"}).exit, 0);
    fs::remove(source + "/texts/000004.rtf");
    const std::string out = s_dir->folder() + "never";
    const Result r = Run({"build", source, out});
    EXPECT_NE(r.exit, 0);
    EXPECT_NE(r.err.find(source + "/texts/000004.rtf: missing"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Items.ttx:"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));

    // A mistyped command line is neither "nothing found" (1) nor "no criterion" (2).
    const Result usage = Run({"frobnicate"});
    EXPECT_EQ(usage.exit, 64);
    EXPECT_EQ(Lines(usage.err).size(), 1u) << usage.err;
    const Result badOption = OnBase({"search", "--section", "3", "--status", "sometimes"});
    EXPECT_EQ(badOption.exit, 64);
    EXPECT_EQ(Lines(badOption.err).size(), 1u) << badOption.err;
    EXPECT_EQ(Run({"cat"}).exit, 64);
    const Result noValue = OnBase({"search", "--title"});
    EXPECT_EQ(noValue.exit, 64);
    EXPECT_EQ(Lines(noValue.err).size(), 1u) << noValue.err;
    const Result noBase = Run({"--base", s_dir->folder() + "nothing", "info"});
    EXPECT_EQ(noBase.exit, 1);
    EXPECT_EQ(Lines(noBase.err).size(), 1u) << noBase.err;

    const std::string missing = s_dir->folder() + "нет такой базы";
    const Result damaged = Run({"--base", missing, "verify"});
    EXPECT_EQ(damaged.exit, 1);
    EXPECT_NE(damaged.out.find(missing + "/Items.ttx: No such file"), std::string::npos) << damaged.out;
}

TEST_F(NorikToolTest, BuildRefusesAnOutputFolderWhoseReplacementWouldLoseFiles) {
    const std::string source = s_dir->folder() + "own-source";
    ASSERT_EQ(Run({"sample", source, "--documents", "5", "--seed", "6", "--source"}).exit, 0);
    const std::string text = NorikTest::ReadFile(source + "/texts/000003.rtf");
    ASSERT_FALSE(text.empty());
    // A folder that looks like a base but holds a file of its own.
    const std::string foreign = s_dir->folder() + "foreign";
    fs::create_directories(foreign);
    NorikTest::WriteFile(foreign + "/Items.ttx", "3\n");
    NorikTest::WriteFile(foreign + "/precious.txt", "mine");
    // A source folder inside the output folder.
    const std::string around = s_dir->folder() + "around";
    fs::create_directories(around);
    fs::copy(source, around + "/source", fs::copy_options::recursive);

    const struct {
        std::string source, out, expected;
    } cases[] = {
        {source, source, "overlaps the source folder"},
        {source, source + "/", "overlaps the source folder"},
        {source, source + "/texts", "overlaps the source folder"},
        {source, source + "/new-base", "overlaps the source folder"},
        {around + "/source", around, "overlaps the source folder"},
        {source, foreign, "holds precious.txt, which is not a file of a base"},
    };
    for (const auto& c : cases) {
        const Result r = Run({"build", c.source, c.out});
        EXPECT_EQ(r.exit, 1) << c.out;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.out << ": " << r.err;
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    }
    EXPECT_EQ(NorikTest::ReadFile(source + "/texts/000003.rtf"), text);
    EXPECT_EQ(NorikTest::ReadFile(around + "/source/texts/000003.rtf"), text);
    EXPECT_FALSE(fs::exists(source + "/new-base"));
    EXPECT_EQ(NorikTest::ReadFile(foreign + "/precious.txt"), "mine");
    EXPECT_EQ(NorikTest::ReadFile(foreign + "/Items.ttx"), "3\n");
}

TEST_F(NorikToolTest, BuildRemovesWhatKilledBuildsLeftBehind) {
    const std::string source = s_dir->folder() + "rebuilt-source";
    ASSERT_EQ(Run({"sample", source, "--documents", "3", "--source"}).exit, 0);
    // Process 1 always runs; no process has a number above the system's limit.
    const std::string live = s_dir->folder() + ".rebuilt.building-1";
    const std::string dead = s_dir->folder() + ".rebuilt.building-99999999";
    const std::string other = s_dir->folder() + ".other.building-99999999";
    for (const std::string& folder : {live, dead, other}) {
        fs::create_directories(folder);
        NorikTest::WriteFile(folder + "/Norik.sdb", "partial");
    }
    const Result built = Run({"build", source, s_dir->folder() + "rebuilt"});
    ASSERT_EQ(built.exit, 0) << built.err;
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(other));
}

// Damage a base can carry, applied to a copy of the sample base.
namespace damage {

std::string IndexEntries(const std::string& bytes, std::size_t& firstLength) {
    const auto length = [&](std::size_t at) {
        return 10 + 2 * static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 8]) |
                                                 static_cast<unsigned char>(bytes[at + 9]) << 8);
    };
    firstLength = length(4);
    return bytes.substr(4);
}

void SetIndexCount(const std::string& path, int change) {
    std::string bytes = NorikTest::ReadFile(path);
    const std::uint32_t count =
        static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0]) | static_cast<unsigned char>(bytes[1]) << 8) +
        static_cast<std::uint32_t>(change);
    bytes[0] = static_cast<char>(count & 0xFF);
    bytes[1] = static_cast<char>(count >> 8);
    NorikTest::WriteFile(path, bytes);
}

// A FIFO in place of a file: opening it to read would wait for a writer that never comes.
void PutFifo(const std::string& path) {
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
}

// Swaps the first two entries of an index file: its keys are then out of order.
void SwapFirstIndexEntries(const std::string& path) {
    const std::string bytes = NorikTest::ReadFile(path);
    std::size_t first = 0;
    IndexEntries(bytes, first);
    std::size_t second = 0;
    IndexEntries(bytes.substr(first), second);
    NorikTest::WriteFile(path, bytes.substr(0, 4) + bytes.substr(4 + first, second) + bytes.substr(4, first) +
                                   bytes.substr(4 + first + second));
}

// Writes the container of base anew from the source's texts, with some entries replaced.
void RewriteContainer(const std::string& base, const std::string& source,
                      const std::map<std::string, std::string>& replaced) {
    Norik::ContainerWriter writer;
    std::string message;
    ASSERT_TRUE(writer.Create(base + "/Norik.sdb", message)) << message;
    for (const auto& entry : fs::directory_iterator(source + "/texts")) {
        const std::string name = entry.path().stem().string();
        const auto it = replaced.find(name);
        const std::string bytes =
            it != replaced.end() ? it->second : Norik::CompressEntry(NorikTest::ReadFile(entry.path()));
        ASSERT_TRUE(writer.AddEntry(name, bytes, message)) << message;
    }
    ASSERT_TRUE(writer.Close(message)) << message;
}

}  // namespace damage

// Every damaged case of a base: the answer resting on it is never given as if it were sound. The
// command exits 3 with one line naming the damaged file, and verify finds the damage too.
TEST_F(NorikToolTest, AnswersOnDamagedDataExitThreeWithOneLineNamingTheFile) {
    const std::string source = s_dir->folder() + "damage-source";
    ASSERT_EQ(Run({"sample", source, "--documents", "40", "--seed", "3", "--source"}).exit, 0);
    const std::string text7 = NorikTest::ReadFile(source + "/texts/000007.rtf");
    std::string halved = Norik::CompressEntry(text7);
    const std::uint32_t half = static_cast<std::uint32_t>(text7.size() / 2);
    for (int i = 0; i < 4; ++i) halved[5 + i] = static_cast<char>(half >> (8 * i));
    const auto keepLines = [](const std::string& path, const std::function<std::string(std::string)>& change) {
        NorikTest::WriteFile(path, change(NorikTest::ReadFile(path)));
    };

    const auto zeroCount = [&](const std::string& b) {
        keepLines(b + "/Items.ttx", [](std::string t) { return t.replace(0, t.find('\n'), "0"); });
    };

    const struct {
        const char* label;
        std::function<void(const std::string&)> damage;
        std::vector<std::string> command;
        std::string expected;  // after the damaged file's path and ": "
        const char* file;
    } cases[] = {
        {"items-cut-in-half",
         [&](const std::string& b) {
             keepLines(b + "/Items.ttx",
                       [](const std::string& t) { return t.substr(0, t.find('\n', t.size() / 2) + 1); });
         },
         {"info"},
         "holds ",
         "Items.ttx"},
        {"items-count-zero", zeroCount, {"info"}, "holds more rows than the 0 its first line announces", "Items.ttx"},
        {"items-count-zero-card",
         zeroCount,
         {"card", "29"},
         "holds more rows than the 0 its first line announces",
         "Items.ttx"},
        {"class-cut-after-13-bytes",
         [&](const std::string& b) {
             keepLines(b + "/class.ttx", [](const std::string& t) { return t.substr(0, 13); });
         },
         {"classifier"},
         "holds 1 of the ",
         "class.ttx"},
        {"class-nameless-record",
         [&](const std::string& b) {
             keepLines(b + "/class.ttx", [](std::string t) {
                 std::size_t line = 0;
                 for (int i = 0; i < 3; ++i) line = t.find('\n', line) + 1;           // the line of record 3
                 const std::size_t name = t.find_first_not_of("0123456789- ", line);  // after the four numbers
                 return t.erase(name, t.find('\n', name) - name);
             });
         },
         {"classifier"},
         "record 3 of ",
         "class.ttx"},
        {"descript-missing",
         [](const std::string& b) { fs::remove(b + "/descript.ttx"); },
         {"info"},
         "cannot be opened: 0x80070002 (No such file or directory)",
         "descript.ttx"},
        {"items-missing-card",
         [](const std::string& b) { fs::remove(b + "/Items.ttx"); },
         {"card", "7"},
         "cannot be opened",
         "Items.ttx"},
        {"items-fifo",
         [](const std::string& b) { damage::PutFifo(b + "/Items.ttx"); },
         {"info"},
         "cannot be opened: 0x80040201 (Not a regular file.)",
         "Items.ttx"},
        {"word-index-fifo",
         [](const std::string& b) { damage::PutFifo(b + "/index.ttx"); },
         {"search", "--text", "закон"},
         "cannot be opened: 0x80040201 (Not a regular file.)",
         "index.ttx"},
        {"container-fifo",
         [](const std::string& b) { damage::PutFifo(b + "/Norik.sdb"); },
         {"cat", "7"},
         "cannot be read: 0x80040201 (Not a regular file.)",
         "Norik.sdb"},
        {"word-index-missing",
         [](const std::string& b) { fs::remove(b + "/index.ttx"); },
         {"search", "--text", "закон"},
         "cannot be opened: 0x80070002 (No such file or directory)",
         "index.ttx"},
        {"word-index-missing-info",
         [](const std::string& b) { fs::remove(b + "/index.ttx"); },
         {"info"},
         "cannot be opened",
         "index.ttx"},
        {"title-index-unsorted",
         [](const std::string& b) { damage::SwapFirstIndexEntries(b + "/titidx.ttx"); },
         {"search", "--title", "закон"},
         "keys are out of order from entry 2",
         "titidx.ttx"},
        {"number-index-count-up",
         [](const std::string& b) { damage::SetIndexCount(b + "/numbidx.ttx", 1); },
         {"search", "--number", "1"},
         "ends inside entry ",
         "numbidx.ttx"},
        {"section-index-count-down",
         [](const std::string& b) { damage::SetIndexCount(b + "/clasidx.ttx", -1); },
         {"search", "--section", "3"},
         "bytes follow its ",
         "clasidx.ttx"},
        {"entry-length-halved",
         [&](const std::string& b) {
             damage::RewriteContainer(b, source, {{"000007", halved}});
         },
         {"cat", "7"},
         "entry 000007.t: the compressed data goes on past its stated length of " + std::to_string(half),
         "Norik.sdb"},
        {"entry-not-rtf",
         [&](const std::string& b) {
             damage::RewriteContainer(b, source, {{"000007", Norik::CompressEntry("plain text, no markup")}});
         },
         {"cat", "7", "--text"},
         "entry 000007.t does not decode to an RTF text",
         "Norik.sdb"},
        {"container-header",
         [&](const std::string& b) {
             keepLines(b + "/Norik.sdb", [](std::string t) { return t.replace(0, 8, 8, 'x'); });
         },
         {"cat", "7"},
         "cannot be read: 0x800300fb",
         "Norik.sdb"},
    };
    for (const auto& c : cases) {
        const std::string base = s_dir->folder() + c.label;
        fs::copy(Base(), base);
        c.damage(base);
        std::vector<std::string> command{"--base", base};
        command.insert(command.end(), c.command.begin(), c.command.end());
        const Result r = Run(command);
        EXPECT_EQ(r.exit, 3) << c.label << ": " << r.err;
        EXPECT_EQ(Lines(r.err).size(), 1u) << c.label << ": " << r.err;
        EXPECT_NE(r.err.find(base + "/" + c.file + ": "), std::string::npos) << c.label << ": " << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.label << ": " << r.err;
        const Result verified = Run({"--base", base, "verify"});
        EXPECT_EQ(verified.exit, 1) << c.label;
        EXPECT_NE(verified.out.find(std::string(c.file) + ":"), std::string::npos) << c.label << ": " << verified.out;
    }
}

TEST_F(NorikToolTest, ABuildSourceTableThatIsAFifoIsRefusedAtOnce) {
    const std::string source = s_dir->folder() + "fifo-source";
    ASSERT_EQ(Run({"sample", source, "--documents", "3", "--source"}).exit, 0);
    damage::PutFifo(source + "/class.ttx");
    const Result r = Run({"build", source, s_dir->folder() + "fifo-base"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "norik-tool: " + source + "/class.ttx: not a regular file\n");  // and no unknown sections
}

TEST_F(NorikToolTest, ABuildWithManyProblemsListsTwentyAndCountsTheRest) {
    const std::string source = s_dir->folder() + "textless";
    ASSERT_EQ(Run({"sample", source, "--documents", "30", "--source"}).exit, 0);
    fs::remove_all(source + "/texts");
    const Result r = Run({"build", source, s_dir->folder() + "textless-base"});
    EXPECT_EQ(r.exit, 1);
    const std::vector<std::string> lines = Lines(r.err);
    ASSERT_EQ(lines.size(), 22u) << r.err;
    EXPECT_NE(lines[0].find("texts/000001.rtf: missing"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[20], "… and 10 more");
    EXPECT_EQ(lines[21], "norik-tool: " + s_dir->folder() + "textless-base was not built: 30 problems");
}

TEST_F(NorikToolTest, BuildAcceptsWhatTheViewerReadsAndWarnsOfWhatLooksUnusual) {
    const std::string source = s_dir->folder() + "unusual";
    ASSERT_EQ(Run({"sample", source, "--documents", "5", "--source"}).exit, 0);
    // A field after a type name; a row whose type is empty ("1 56 42730|title|...").
    std::string types = NorikTest::ReadFile(source + "/typelist.ttx");
    types.insert(types.find('\n'), "|");
    types.insert(types.find('\n', types.find('\n') + 1), "|x");
    NorikTest::WriteFile(source + "/typelist.ttx", types);
    std::string items = NorikTest::ReadFile(source + "/Items.ttx");
    const std::size_t row = items.find('\n') + 1;
    std::size_t type = row;
    for (int i = 0; i < 3; ++i) type = items.find_first_of(" \n", items.find_first_not_of(' ', type));
    items.erase(type, items.find('|', type) - type);
    NorikTest::WriteFile(source + "/Items.ttx", items);

    const std::string out = s_dir->folder() + "unusual-base";
    const Result built = Run({"build", source, out});
    ASSERT_EQ(built.exit, 0) << built.err;
    EXPECT_EQ(Lines(built.err), std::vector<std::string>{"warning: " + source + "/Items.ttx:2: empty document type"});
    const Result verified = Run({"--base", out, "verify"});
    EXPECT_EQ(verified.exit, 0) << verified.out;
    EXPECT_NE(verified.out.find("warning: " + out + "/Items.ttx:2: empty document type"), std::string::npos)
        << verified.out;
    const Result card = Run({"--base", out, "card", "1"});
    EXPECT_EQ(card.exit, 0) << card.err;
}

TEST_F(NorikToolTest, VerifyNamesDamageAndFails) {
    const std::string copy = s_dir->folder() + "damaged";
    fs::copy(Base(), copy);
    std::string index = NorikTest::ReadFile(copy + "/numbidx.ttx");
    NorikTest::WriteFile(copy + "/numbidx.ttx", index.substr(0, index.size() - 1));
    const Result r = Run({"--base", copy, "verify"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.out.find("numbidx.ttx: ends inside"), std::string::npos) << r.out;
    EXPECT_EQ(Lines(r.err).size(), 1u);
    EXPECT_EQ(OnBase({"verify"}).exit, 0);
}

TEST_F(NorikToolTest, QuickSearchAndCitedByAnswerFromTheFullTextIndexThatVerifyChecks) {
    const Result found = OnBase({"search", "--quick", "№ 62-ФЗ", "--passages"});
    ASSERT_EQ(found.exit, 0) << found.err;
    const std::vector<std::string> lines = Lines(found.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with("28\t")) << lines[0];
    EXPECT_NE(lines[0].find("\t Федеральный закон 62-ФЗ О внесении изменений"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "    от 14 мая 2025 г. N <b>62-ФЗ</b>");
    // A query that cannot be understood is the user's mistake, not damage.
    EXPECT_EQ(OnBase({"search", "--quick", "AND"}).exit, 64);
    // The count of every match; the filters restrict the search, a date not understood is refused.
    const Result all = OnBase({"search", "--quick", "закон", "--limit", "1"});
    EXPECT_EQ(Lines(all.out).size(), 1u);
    EXPECT_NE(all.err.find("Найдено документов: "), std::string::npos) << all.err;
    EXPECT_EQ(OnBase({"search", "--quick", "закон", "--date-from", "01.01.2100"}).exit, 1);
    EXPECT_EQ(OnBase({"search", "--quick", "закон", "--status", "now"}).exit, 64);
    const Result citing = OnBase({"cited-by", "7"});
    ASSERT_EQ(citing.exit, 0) << citing.err;
    ASSERT_EQ(Lines(citing.out).size(), 3u);
    EXPECT_TRUE(Lines(citing.out)[0].starts_with("13\t Приказ 786н")) << citing.out;

    // An index stamped with another base date is not this base's: verify names it as damage.
    const std::string copy = s_dir->folder() + "stale-index";
    fs::copy(Base(), copy, fs::copy_options::recursive);
    const std::string stamp = copy + "/fulltext/norik-fulltext.stamp";
    std::string text = NorikTest::ReadFile(stamp);
    text.replace(text.find("base-date ") + 10, 1, "9");
    NorikTest::WriteFile(stamp, text);
    const Result verified = Run({"--base", copy, "verify"});
    EXPECT_EQ(verified.exit, 3);
    EXPECT_EQ(Lines(verified.err).size(), 1u);
    EXPECT_NE(verified.err.find("fulltext"), std::string::npos) << verified.err;
    EXPECT_EQ(Run({"--base", copy, "search", "--quick", "закон"}).exit, 1);
    ASSERT_EQ(Run({"fulltext", copy, "--if-stale"}).exit, 0);
    EXPECT_EQ(Run({"--base", copy, "verify"}).exit, 0);
    // A current index is left as it is.
    const Result again = Run({"fulltext", copy, "--if-stale"});
    EXPECT_EQ(again.exit, 0);
    EXPECT_NE(again.out.find("is current"), std::string::npos) << again.out;
}

// Installed under a path of 260 characters or more, the tool still hands the full-text commands
// to the program beside it.
TEST_F(NorikToolTest, AToolUnderALongPathStartsTheFullTextProgram) {
    const fs::path folder = fs::path(s_dir->folder()) / std::string(120, 'd') / std::string(120, 'e') / "bin";
    fs::create_directories(folder);
    ASSERT_GE(folder.string().size(), 260u);
    for (const char* name : {"norik-tool", "norik-tool-full"}) {
        std::error_code linked;
        fs::create_hard_link(fs::path(NORIK_BINARY_DIR) / name, folder / name, linked);
        if (linked) fs::copy_file(fs::path(NORIK_BINARY_DIR) / name, folder / name);
    }
    const NorikTest::CommandResult run = NorikTest::RunShell("timeout 120 " + Quote((folder / "norik-tool").string()) +
                                                             " --base " + Quote(Base()) + " cited-by 7 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Lines(run.output).size(), 3u) << run.output;
}

TEST_F(NorikToolTest, TheFullTextIndexAnswersOnlyForItsBaseAndNeverStartsAStub) {
    const std::string copy = s_dir->folder() + "stub-race";
    fs::copy(Base(), copy, fs::copy_options::recursive);
    // A distance out of range is a query that cannot be understood.
    const Result far = Run({"--base", copy, "search", "--quick", "закон NEAR/4294967295 кодекс"});
    EXPECT_EQ(far.exit, 64);
    EXPECT_NE(far.err.find("cannot be understood"), std::string::npos) << far.err;

    // The index folder swapped in a loop with a folder holding a stub database whose "remote"
    // line names a program: no search or cited-by starts it.
    const std::string marker = copy + "-started";
    const std::string probe = copy + "-probe.sh";
    NorikTest::WriteFile(probe, "#!/bin/sh\ntouch '" + marker + "'\n");
    ASSERT_EQ(::chmod(probe.c_str(), 0700), 0);
    const std::string stub = copy + "/stub";
    fs::create_directory(stub);
    NorikTest::WriteFile(stub + "/XAPIANDB", "remote :" + probe + "\n");
    const std::string index = copy + "/fulltext";
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        while (!stop) ::renameat2(AT_FDCWD, index.c_str(), AT_FDCWD, stub.c_str(), RENAME_EXCHANGE);
    });
    int answered = 0;
    for (int k = 0; k < 20; ++k) {
        answered += Run({"--base", copy, "search", "--quick", "закон"}).exit == 0 ? 1 : 0;
        answered += Run({"--base", copy, "cited-by", "7"}).exit == 0 ? 1 : 0;
    }
    stop = true;
    swapper.join();
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_GT(answered, 0);
    if (!fs::exists(index + "/iamglass")) ::renameat2(AT_FDCWD, index.c_str(), AT_FDCWD, stub.c_str(), RENAME_EXCHANGE);
    fs::remove_all(stub);
    ASSERT_EQ(Run({"--base", copy, "verify"}).exit, 0);

    // The index of another base of the same date and the same number of documents is not this
    // base's.
    const std::string other = s_dir->folder() + "other-base";
    ASSERT_EQ(Run({"sample", other, "--documents", "40", "--seed", "4"}).exit, 0);
    fs::remove_all(index);
    fs::copy(other + "/fulltext", index);
    const Result verified = Run({"--base", copy, "verify"});
    EXPECT_EQ(verified.exit, 3);
    EXPECT_NE(verified.err.find("another base"), std::string::npos) << verified.err;
}

}  // namespace
