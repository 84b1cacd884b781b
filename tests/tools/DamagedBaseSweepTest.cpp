// The damaged-base sweep: a small base made by norik-tool, each of its files damaged in the usual
// ways (cut, flipped bytes, blocks of 0x00 and 0xFF, huge counts, missing, empty, a folder or a
// FIFO in its place, CR LF line ends, a very long line, a sparse index of 256 MiB, UTF-8 and
// NUL bytes in the tables, loops in the container's sector chains, entry headers with wrong
// lengths), and the read commands of the tool run on each damaged copy with a time limit, each in
// a forked process.
//
// Each run must give the sound base's answer (the same output, exit 0) or fail with one line on
// stderr and a non-zero status. A failure that claims something is absent ("nothing found", "no
// document N") is an answer too, and as wrong as a different output. Damage that only changes
// what a file says - a flipped byte inside a title, a document number or compressed text, which
// leaves a file of the same shape - may change the answer; it is counted apart.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "../Helpers/CompoundFileTestWriter.h"
#include "Helpers/CompoundFile.h"
#include "Helpers/Cp1251.h"
#include "TestSupport.h"
#include "showdata/ListDoc.h"
#include "tools/ToolCommands.h"

namespace fs = std::filesystem;

namespace {

constexpr auto kRunLimit = std::chrono::seconds(20);

// What a damage may do to the answers: none but the sound one or a failure (Strict), or change
// them because the damaged file keeps its shape (Content).
enum class Kind { Strict, Content };

struct Damage {
    std::string file;
    std::string name;
    Kind kind;
    std::function<void(const fs::path&)> apply;
};

struct Outcome {
    int exit = -1;  // -1: killed at the time limit or by a signal
    bool timedOut = false;
    std::string out;
    std::string err;
};

std::string Read(const fs::path& path) { return NorikTest::ReadFile(path.string()); }
void Put(const fs::path& path, const std::string& bytes) { NorikTest::WriteFile(path.string(), bytes); }

// Runs the tool's commands on many argument lists, a few at a time, each in a process of its own
// forked from this one (far cheaper than starting the executable, under the sanitizers above
// all) and stopped at the time limit.
std::vector<Outcome> RunAll(const std::vector<std::vector<std::string>>& runs, const fs::path& scratch) {
    const std::size_t parallel = std::max(2u, std::thread::hardware_concurrency());
    std::vector<Outcome> outcomes(runs.size());
    struct Running {
        pid_t pid;
        std::size_t index;
        std::chrono::steady_clock::time_point deadline;
    };
    std::vector<Running> running;
    std::size_t next = 0;
    const auto outPath = [&](std::size_t i) { return scratch / ("out-" + std::to_string(i)); };
    const auto errPath = [&](std::size_t i) { return scratch / ("err-" + std::to_string(i)); };
    (void)std::fflush(nullptr);
    while (next < runs.size() || !running.empty()) {
        while (next < runs.size() && running.size() < parallel) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                std::ofstream out(outPath(next), std::ios::binary);
                std::ofstream err(errPath(next), std::ios::binary);
                const int code = Norik::RunTool(runs[next], out, err);
                out.flush();
                err.flush();
                ::_exit(code);
            }
            if (pid < 0) {
                outcomes[next].err = "cannot fork";
            } else {
                running.push_back({pid, next, std::chrono::steady_clock::now() + kRunLimit});
            }
            ++next;
        }
        int status = 0;
        const pid_t done = ::waitpid(-1, &status, WNOHANG);
        if (done <= 0) {
            const auto now = std::chrono::steady_clock::now();
            for (Running& r : running) {
                if (now > r.deadline && !outcomes[r.index].timedOut) {
                    outcomes[r.index].timedOut = true;
                    ::kill(r.pid, SIGKILL);
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        const auto it = std::find_if(running.begin(), running.end(), [&](const Running& r) { return r.pid == done; });
        if (it == running.end()) continue;
        Outcome& outcome = outcomes[it->index];
        outcome.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = Read(outPath(it->index));
        outcome.err = Read(errPath(it->index));
        fs::remove(outPath(it->index));
        fs::remove(errPath(it->index));
        running.erase(it);
    }
    return outcomes;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator)) parts.push_back(part);
    return parts;
}

std::uint32_t Load32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// ---------------------------------------------------------------------------------------------
// Damages

void AddEveryFileDamage(const std::string& file, std::vector<Damage>& damages) {
    const auto edit = [](const std::function<void(std::string&)>& change) {
        return [change](const fs::path& path) {
            std::string bytes = Read(path);
            change(bytes);
            Put(path, bytes);
        };
    };
    const auto fill = [](std::size_t at, char value) {
        return [at, value](std::string& b) {
            const std::size_t from = std::min(at == SIZE_MAX ? b.size() / 2 : at, b.size());
            for (std::size_t i = from; i < b.size() && i < from + 64; ++i) b[i] = value;
        };
    };
    const auto add = [&](const char* name, Kind kind, std::function<void(const fs::path&)> apply) {
        damages.push_back({file, name, kind, std::move(apply)});
    };
    add("missing", Kind::Strict, [](const fs::path& p) { fs::remove(p); });
    add("empty", Kind::Strict, [](const fs::path& p) { Put(p, ""); });
    add("folder", Kind::Strict, [](const fs::path& p) {
        fs::remove(p);
        fs::create_directory(p);
    });
    add("fifo", Kind::Strict, [](const fs::path& p) {
        fs::remove(p);
        ::mkfifo(p.c_str(), 0644);
    });
    // descript.ttx is two numbers and nothing that tells how long they are: cut inside the base
    // date, it holds a shorter date.
    const Kind cut = file == "descript.ttx" ? Kind::Content : Kind::Strict;
    add("cut-to-1-byte", cut, edit([](std::string& b) { b.resize(std::min<std::size_t>(b.size(), 1)); }));
    add("cut-at-third", cut, edit([](std::string& b) { b.resize(b.size() / 3); }));
    add("cut-at-two-thirds", cut, edit([](std::string& b) { b.resize(b.size() * 2 / 3); }));
    add("last-byte-cut", Kind::Strict, edit([](std::string& b) { b.resize(b.empty() ? 0 : b.size() - 1); }));
    add("first-byte-flipped", Kind::Strict, edit([](std::string& b) { b[0] = static_cast<char>(b[0] ^ 0xFF); }));
    add("zeros-at-start", Kind::Strict, edit(fill(0, '\0')));
    add("0xFF-at-start", Kind::Strict, edit(fill(0, '\xFF')));
    add("bytes-flipped-throughout", Kind::Content, edit([](std::string& b) {
            for (std::size_t i = 37; i < b.size(); i += 97) b[i] = static_cast<char>(b[i] ^ 0xFF);
        }));
    add("zeros-in-middle", Kind::Content, edit(fill(SIZE_MAX, '\0')));
    add("0xFF-in-middle", Kind::Content, edit(fill(SIZE_MAX, '\xFF')));
}

void AddIndexDamage(const std::string& file, std::vector<Damage>& damages) {
    const auto store = [](std::size_t at, const std::function<std::uint32_t(std::uint32_t)>& value, int width) {
        return [=](const fs::path& path) {
            std::string bytes = Read(path);
            if (bytes.size() < at + width) return;
            const std::uint32_t v = value(Load32(bytes + std::string(4, '\0'), at));
            for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
            Put(path, bytes);
        };
    };
    // The entry count N, then the first entry's list length n (after its 8-byte key).
    damages.push_back({file, "entry-count-huge", Kind::Strict,
                       store(
                           0, [](std::uint32_t) { return 0xFFFFFFFFu; }, 4)});
    damages.push_back({file, "entry-count-one-more", Kind::Strict,
                       store(
                           0, [](std::uint32_t n) { return n + 1; }, 4)});
    damages.push_back({file, "list-length-huge", Kind::Strict,
                       store(
                           12, [](std::uint32_t) { return 0x7FFFu; }, 2)});
    damages.push_back({file, "list-length-negative", Kind::Strict,
                       store(
                           12, [](std::uint32_t) { return 0x8000u; }, 2)});
    // Hundreds of megabytes by its size, a few kilobytes of disk, zeros when read: within the
    // bound of the word index, past that of the others.
    damages.push_back({file, "sparse-256-MiB", Kind::Strict, [](const fs::path& p) {
                           Put(p, std::string(4, '\xFF'));
                           fs::resize_file(p, std::uintmax_t{1} << 28);
                       }});
}

void AddTableDamage(const std::string& file, std::vector<Damage>& damages) {
    const auto edit = [&](const char* name, const std::function<std::string(const std::string&)>& change) {
        damages.push_back({file, name, Kind::Strict, [change](const fs::path& p) { Put(p, change(Read(p))); }});
    };
    edit("crlf-line-ends", [](const std::string& b) {
        std::string out;
        for (const char c : b) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    });
    edit("very-long-line", [](const std::string& b) {
        const std::size_t line = b.find('\n');
        return line == std::string::npos ? b : b.substr(0, line + 1) + std::string(100000, '\xC6') + b.substr(line);
    });
    edit("first-number-huge", [](const std::string& b) {
        const std::size_t digits = b.find_first_not_of("0123456789");
        return "99999999999" + b.substr(digits == std::string::npos ? b.size() : digits);
    });
    edit("utf-8", [](const std::string& b) { return Norik::Cp1251ToUtf8(b); });
    edit("nul-in-second-line", [](const std::string& b) {
        const std::size_t first = b.find('\n');
        const std::size_t second = first == std::string::npos ? std::string::npos : b.find('\n', first + 1);
        std::string out = b;
        if (second != std::string::npos && second > first + 2) out[(first + second) / 2] = '\0';
        return out;
    });
}

// The container is rewritten by the test writer, whose layout says where each chain is.
void AddContainerDamage(const std::vector<NorikTest::CfbStream>& entries, std::vector<Damage>& damages) {
    using Rewrite = std::function<void(std::vector<NorikTest::CfbStream>&)>;
    using Patch = std::function<void(std::string&, const NorikTest::CfbLayout&)>;
    const auto add = [&](const char* name, const Rewrite& rewrite, const Patch& patch) {
        damages.push_back({"Norik.sdb", name, Kind::Strict, [=](const fs::path& p) {
                               std::vector<NorikTest::CfbStream> streams = entries;
                               if (rewrite) rewrite(streams);
                               NorikTest::CfbLayout layout;
                               std::string bytes = NorikTest::BuildCompoundFile(streams, 3, &layout);
                               if (patch) patch(bytes, layout);
                               Put(p, bytes);
                           }});
    };
    const auto fatEntry = [](const NorikTest::CfbLayout& layout, const std::vector<std::uint32_t>& table,
                             std::uint32_t sector) {
        const std::uint32_t perSector = layout.sectorSize / 4;
        return NorikTest::SectorOffsetIn(layout, table[sector / perSector]) + std::size_t{4} * (sector % perSector);
    };
    const auto miniSectors = [entries](std::size_t i) { return (entries[i].data.size() + 63) / 64; };
    add("rewritten-whole", nullptr, nullptr);
    add("fat-loop-in-directory", nullptr, [=](std::string& b, const NorikTest::CfbLayout& l) {
        NorikTest::Store32(b, fatEntry(l, l.fatSectors, l.firstDirectorySector), l.firstDirectorySector);
    });
    add("fat-loop-in-mini-stream", nullptr, [=](std::string& b, const NorikTest::CfbLayout& l) {
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) bytes += miniSectors(i) * 64;
        const auto last = static_cast<std::uint32_t>(l.miniStreamStart + (bytes + 511) / 512 - 1);
        NorikTest::Store32(b, fatEntry(l, l.fatSectors, last), l.miniStreamStart);
    });
    add("mini-fat-loop-in-entry", nullptr, [=](std::string& b, const NorikTest::CfbLayout& l) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto last = static_cast<std::uint32_t>(l.firstSector[i] + miniSectors(i) - 1);
            NorikTest::Store32(b, fatEntry(l, l.miniFatSectors, last), l.firstSector[i]);
        }
    });
    // The 13-byte header of every entry: properties, dictionary size, decoded length.
    const auto header = [&](const char* name, const std::function<void(std::string&)>& change) {
        add(
            name,
            [change](std::vector<NorikTest::CfbStream>& streams) {
                for (NorikTest::CfbStream& s : streams) change(s.data);
            },
            nullptr);
    };
    const auto length = [](std::string& d, std::uint64_t v) {
        for (int i = 0; i < 8; ++i) d[5 + i] = static_cast<char>(v >> (8 * i));
    };
    const auto stated = [](const std::string& d) {
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(d[5 + i]);
        return v;
    };
    header("length-one-more", [=](std::string& d) { length(d, stated(d) + 1); });
    header("length-one-less", [=](std::string& d) { length(d, stated(d) - 1); });
    header("length-zero", [=](std::string& d) { length(d, 0); });
    header("length-huge", [=](std::string& d) { length(d, 1ULL << 50); });
    header("length-unknown", [=](std::string& d) { length(d, ~0ULL); });
    header("dictionary-huge", [](std::string& d) { d.replace(1, 4, "\xFF\xFF\xFF\xFF"); });
    header("properties-invalid", [](std::string& d) { d[0] = '\xFF'; });
    header("entry-cut-in-half", [](std::string& d) { d.resize(d.size() / 2); });
    header("entry-header-only", [](std::string& d) { d.resize(13); });
}

// ---------------------------------------------------------------------------------------------

class DamagedBaseSweep : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("NORIK_VOCABULARY_DIR", NORIK_SOURCE_DIR "/res/vocabulary", 1);
        setenv("NORIK_ERROR_LOG", m_dir.file("Norik.err").c_str(), 1);
        m_sound = m_dir.path() / "sound";
        const Outcome made =
            RunAll({{"sample", m_sound.string(), "--documents", "5", "--seed", "11"}}, m_dir.path())[0];
        ASSERT_EQ(made.exit, 0) << made.err;
    }
    void TearDown() override { unsetenv("NORIK_VOCABULARY_DIR"); }

    // The read commands, with arguments taken from the sound base so that each finds something:
    // between them they read every file of the base (the sort orders and the RTF output add no
    // file, and are left to the tool's own tests).
    std::vector<std::vector<std::string>> Commands() {
        const std::vector<std::string> lines = Split(Read(m_sound / "Items.ttx"), '\n');
        EXPECT_GT(lines.size(), 2u);
        // A row: number, section, date, then "type|title|number|...".
        const std::vector<std::string> head = Split(lines.at(1), ' ');
        const std::string& number = head.at(0);
        const std::string& section = head.at(1);
        const std::string rest = lines.at(1).substr(head[0].size() + head[1].size() + head[2].size() + 3);
        const std::vector<std::string> fields = Split(Norik::Cp1251ToUtf8(rest), '|');
        std::string titleWord;
        for (const std::string& word : Split(fields.at(1), ' '))
            if (word.size() > titleWord.size()) titleWord = word;
        std::vector<std::vector<std::string>> commands = {
            {"info"},
            {"classifier"},
            {"list", section, "--sort", "title"},
            {"search", "--section", section},
            {"search", "--type", fields.at(0)},
            {"search", "--number", fields.at(2)},
            {"search", "--title", titleWord},
            {"cat", number, "--text"},
            {"card", number},
            {"verify"},
        };
        // The status that some document has.
        for (const char* status : {"in-force", "not-in-force"}) {
            if (RunAll({{"--base", m_sound.string(), "search", "--status", status}}, m_dir.path())[0].exit == 0) {
                commands.push_back({"search", "--status", status});
                break;
            }
        }
        // A word of the text: the longest of the document's text that the word search finds.
        const Outcome text = RunAll({{"--base", m_sound.string(), "cat", number, "--text"}}, m_dir.path())[0];
        std::vector<std::string> words;
        for (std::string word : Split(text.out, ' ')) {
            word.erase(
                std::remove_if(word.begin(), word.end(),
                               [](char c) { return std::string(".,;:()\n\t\r«»\"").find(c) != std::string::npos; }),
                word.end());
            if (word.size() >= 12) words.push_back(word);
        }
        std::sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
        for (std::size_t i = 0; i < words.size() && i < 8; ++i) {
            const Outcome found = RunAll({{"--base", m_sound.string(), "search", "--text", words[i]}}, m_dir.path())[0];
            if (found.exit == 0) {
                commands.push_back({"search", "--text", words[i]});
                break;
            }
        }
        return commands;
    }

    std::vector<NorikTest::CfbStream> Entries() {
        std::vector<NorikTest::CfbStream> entries;
        std::shared_ptr<Norik::CompoundFile> file;
        EXPECT_EQ(Norik::CompoundFile::Open((m_sound / "Norik.sdb").string(), file), Norik::kOk);
        if (!file) return entries;
        const std::vector<std::string> lines = Split(Read(m_sound / "Items.ttx"), '\n');
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const auto number = static_cast<std::int16_t>(std::strtol(lines[i].c_str(), nullptr, 10));
            const std::string name = ShowData::DocFileName(number) + ".t";
            if (!entries.empty() && entries.back().name == NorikTest::Utf8ToUtf16(name)) continue;
            std::unique_ptr<Norik::CompoundStream> stream;
            if (file->OpenStream(NorikTest::Utf8ToUtf16(name), stream) != Norik::kOk) continue;
            std::string bytes;
            char chunk[4096];
            for (std::size_t got = 0; stream->Read(chunk, sizeof chunk, got) == Norik::kOk && got > 0;)
                bytes.append(chunk, got);
            entries.push_back({NorikTest::Utf8ToUtf16(name), bytes});
        }
        return entries;
    }

    NorikTest::TempDir m_dir;
    fs::path m_sound;
};

// An answer that says something is not there: as wrong as a different output when the sound base
// has it - unless it says the base is damaged (exit status 3).
bool ClaimsAbsence(int exit, const std::string& err) {
    if (exit == 3) return false;
    for (const char* text : {"По Вашему запросу ничего не найдено!", "Не заданы реквизиты поиска!", "no document ",
                             "no classifier node ", "no base in "})
        if (err.find(text) != std::string::npos) return true;
    return false;
}

// The verifier's answer on a base it passes with more warnings: the sound lines, and warnings.
bool OnlyWarningsAdded(const std::string& sound, const std::string& got) {
    std::vector<std::string> left;
    for (const std::string& line : Split(got, '\n'))
        if (line.rfind("warning: ", 0) != 0) left.push_back(line);
    return left == Split(sound, '\n') && got != sound;
}

TEST_F(DamagedBaseSweep, EveryReadCommandGivesTheSoundAnswerOrOneLineOfFailure) {
    const std::vector<std::vector<std::string>> commands = Commands();
    ASSERT_EQ(commands.size(), 12u) << "no status or no word of the text is found by the search";
    std::vector<std::vector<std::string>> soundRuns;
    for (const auto& command : commands) {
        soundRuns.push_back({"--base", m_sound.string()});
        soundRuns.back().insert(soundRuns.back().end(), command.begin(), command.end());
    }
    const std::vector<Outcome> sound = RunAll(soundRuns, m_dir.path());
    for (std::size_t c = 0; c < commands.size(); ++c)
        ASSERT_EQ(sound[c].exit, 0) << soundRuns[c][2] << " " << (soundRuns[c].size() > 3 ? soundRuns[c][3] : "")
                                    << ": " << sound[c].err;

    std::vector<Damage> damages;
    for (const auto& entry : fs::directory_iterator(m_sound)) {
        const std::string file = entry.path().filename().string();
        AddEveryFileDamage(file, damages);
        if (file == "Norik.sdb") continue;
        const bool text =
            file == "descript.ttx" || file == "class.ttx" || file == "typelist.ttx" || file == "Items.ttx";
        if (text)
            AddTableDamage(file, damages);
        else
            AddIndexDamage(file, damages);
    }
    const std::vector<NorikTest::CfbStream> entries = Entries();
    ASSERT_FALSE(entries.empty());
    AddContainerDamage(entries, damages);

    // One damaged copy of the base for each damage; every command on every copy.
    std::vector<std::vector<std::string>> runs;
    for (std::size_t d = 0; d < damages.size(); ++d) {
        const fs::path copy = m_dir.path() / ("copy-" + std::to_string(d));
        fs::copy(m_sound, copy);
        damages[d].apply(copy / damages[d].file);
        for (const auto& command : commands) {
            runs.push_back({"--base", copy.string()});
            runs.back().insert(runs.back().end(), command.begin(), command.end());
        }
    }
    const std::vector<Outcome> outcomes = RunAll(runs, m_dir.path());

    std::map<std::string, int> counts;
    std::vector<std::string> faults;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const Damage& damage = damages[r / commands.size()];
        const Outcome& sound_ = sound[r % commands.size()];
        const Outcome& got = outcomes[r];
        const std::size_t lines = static_cast<std::size_t>(std::count(got.err.begin(), got.err.end(), '\n'));
        std::string fault;
        if (got.timedOut)
            fault = "no answer within the time limit";
        else if (got.exit < 0)
            fault = "killed by a signal";
        else if (got.exit == 0 && got.out == sound_.out && got.err.empty())
            ++counts["same answer"];
        else if (got.exit != 0 && lines == 1 && got.err.back() == '\n' && !ClaimsAbsence(got.exit, got.err))
            ++counts[got.exit == 3 ? "refused: damaged base (3)" : "refused: other failure"];
        else if (got.exit == 0 && got.err.empty() && runs[r][2] == "verify" && OnlyWarningsAdded(sound_.out, got.out))
            ++counts["verify: told in warnings"];
        else if (damage.kind == Kind::Content && (got.exit == 0 || (lines == 1 && ClaimsAbsence(got.exit, got.err))))
            ++counts["other answer of a file that kept its shape"];
        else if (got.exit != 0 && lines != 1)
            fault = "exit " + std::to_string(got.exit) + " with " + std::to_string(lines) + " lines on stderr";
        else
            fault = "a different answer (exit " + std::to_string(got.exit) + ")";
        if (fault.empty()) continue;
        ++counts["FAULT"];
        std::string command;
        for (std::size_t a = 2; a < runs[r].size(); ++a) command += " " + runs[r][a];
        faults.push_back(damage.file + " " + damage.name + ":" + command + ": " + fault +
                         "; stderr: " + got.err.substr(0, 300));
    }

    std::printf("damaged-base sweep: %zu damaged copies x %zu commands = %zu runs\n", damages.size(), commands.size(),
                runs.size());
    for (const auto& [what, count] : counts) std::printf("  %-45s %d\n", what.c_str(), count);
    for (std::size_t i = 0; i < faults.size() && i < 60; ++i) ADD_FAILURE() << faults[i];
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults";
}

}  // namespace
