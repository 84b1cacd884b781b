// The compound-file reader against libgsf (gsf createole / gsf cat), a LibreOffice document, the
// test writer's version 3 and 4 containers, and damaged containers.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CompoundFileTestWriter.h"
#include "Helpers/CompoundFile.h"
#include "TestSupport.h"

namespace {

using Norik::CompoundFile;
using Norik::CompoundStream;
using Norik::HResult;
using NorikTest::BuildCompoundFile;
using NorikTest::CfbLayout;
using NorikTest::CfbStream;
using NorikTest::TempDir;

std::u16string Ascii16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

struct StreamRead {
    HResult openCode = 0;
    HResult readCode = 0;  // the first failure met while reading, or 0
    std::string bytes;
};

// Opens name in the container at path and reads it to the end (or the first failure) in chunks.
StreamRead ReadStream(const std::string& path, const std::u16string& name, size_t chunk = 65536) {
    StreamRead result;
    std::shared_ptr<CompoundFile> file;
    result.openCode = CompoundFile::Open(path, file);
    if (result.openCode < 0) return result;
    std::unique_ptr<CompoundStream> stream;
    result.openCode = file->OpenStream(name, stream);
    if (result.openCode < 0) return result;
    std::string buffer(chunk, '\0');
    for (;;) {
        size_t delivered = 0;
        const HResult code = stream->Read(buffer.data(), chunk, delivered);
        if (code < 0) {
            result.readCode = code;
            break;
        }
        if (delivered == 0) break;
        result.bytes.append(buffer.data(), delivered);
    }
    return result;
}

std::string RandomBytes(std::mt19937& random, size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::uint32_t HeaderField(const std::string& path, size_t offset) {
    const std::string head = NorikTest::ReadFile(path).substr(0, 512);
    return static_cast<std::uint8_t>(head[offset]) | (static_cast<std::uint8_t>(head[offset + 1]) << 8) |
           (static_cast<std::uint8_t>(head[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(head[offset + 3])) << 24);
}

// ---------------------------------------------------------------------------------------------
// Differential against libgsf

class GsfContainer : public ::testing::TestWithParam<int> {};

TEST_P(GsfContainer, EveryStreamReadsAsGsfReadsIt) {
    const int count = GetParam();
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "in");
    std::mt19937 random(static_cast<unsigned>(count));
    // Sizes on both sides of the mini-stream cut-off, and the edges of both sector sizes.
    const std::vector<size_t> edges = {0, 1, 63, 64, 65, 511, 512, 4095, 4096, 4097, 20000};
    std::vector<std::string> names;
    std::vector<std::string> contents;
    std::string arguments;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%06d.t", i * 7 + 1);
        const size_t size = static_cast<size_t>(i) < edges.size() ? edges[i] : random() % 4200;
        names.emplace_back(name);
        contents.push_back(RandomBytes(random, size));
        NorikTest::WriteFile((dir.path() / "in" / name).string(), contents.back());
    }
    const std::string container = dir.file("gsf.ole");
    NorikTest::RunShell("cd '" + dir.folder() + "in' && gsf createole '" + container + "' * >/dev/null 2>&1");
    ASSERT_TRUE(std::filesystem::exists(container));
    if (count >= 5000) {
        EXPECT_GT(HeaderField(container, 44), 109u) << "the FAT should need DIFAT sectors";
    }

    std::string ours;
    for (int i = 0; i < count; ++i) {
        const StreamRead read = ReadStream(container, Ascii16(names[i]), i % 2 ? 4096 : 7);
        ASSERT_EQ(read.openCode, 0) << names[i];
        ASSERT_EQ(read.readCode, 0) << names[i];
        ASSERT_EQ(read.bytes, contents[i]) << names[i];
        ours += read.bytes;
        arguments += " " + names[i];
    }
    EXPECT_EQ(ours, NorikTest::RunShell("gsf cat '" + container + "'" + arguments).output);
    EXPECT_EQ(ReadStream(container, u"000000.t").openCode, Norik::kStgFileNotFound);
    EXPECT_EQ(ReadStream(container, u"zzz").openCode, Norik::kStgFileNotFound);
}

INSTANTIATE_TEST_SUITE_P(Streams, GsfContainer, ::testing::Values(1, 100, 5000));

TEST(CompoundFileNames, NamesDifferingOnlyInCasePreferTheExactMatch) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "in");
    NorikTest::WriteFile(dir.file("in/Doc.t"), "mixed case");
    NorikTest::WriteFile(dir.file("in/DOC.t"), "upper case");
    NorikTest::WriteFile(dir.file("in/other.t"), "other");
    const std::string container = dir.file("case.ole");
    NorikTest::RunShell("cd '" + dir.folder() + "in' && gsf createole '" + container +
                        "' Doc.t DOC.t other.t >/dev/null 2>&1");
    for (const std::string name : {"Doc.t", "DOC.t", "other.t"}) {
        EXPECT_EQ(ReadStream(container, Ascii16(name)).bytes,
                  NorikTest::RunShell("gsf cat '" + container + "' " + name).output)
            << name;
    }
    const StreamRead folded = ReadStream(container, u"doc.T");
    ASSERT_EQ(folded.openCode, 0);
    EXPECT_TRUE(folded.bytes == "mixed case" || folded.bytes == "upper case");
    EXPECT_EQ(ReadStream(container, u"OTHER.T").bytes, "other");
}

TEST(CompoundFileNames, CyrillicNamesCompareIgnoringCase) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "in");
    NorikTest::WriteFile(dir.file("in/Документ.t"), "text");
    const std::string container = dir.file("ru.ole");
    NorikTest::RunShell("cd '" + dir.folder() + "in' && gsf createole '" + container + "' Документ.t >/dev/null 2>&1");
    EXPECT_EQ(ReadStream(container, NorikTest::Utf8ToUtf16("Документ.t")).bytes, "text");
    EXPECT_EQ(ReadStream(container, NorikTest::Utf8ToUtf16("ДОКУМЕНТ.T")).bytes, "text");
    EXPECT_EQ(ReadStream(container, NorikTest::Utf8ToUtf16("документ.т")).openCode, Norik::kStgFileNotFound);
}

TEST(CompoundFileOrder, LengthFirstThenUpperCasedUnits) {
    EXPECT_LT(CompoundFile::CompareNames(u"Z", u"AA"), 0);
    EXPECT_EQ(CompoundFile::CompareNames(u"abc", u"ABC"), 0);
    EXPECT_LT(CompoundFile::CompareNames(u"abc", u"ABD"), 0);
    EXPECT_GT(CompoundFile::CompareNames(u"я", u"Ю"), 0);
    EXPECT_EQ(CompoundFile::CompareNames(u"ё", u"Ё"), 0);
}

TEST(CompoundFileLibreOffice, EveryRootStreamReadsAsGsfReadsIt) {
    const std::string document = std::string(NORIK_SOURCE_DIR) + "/tests/fixtures/container/libreoffice-note.doc";
    std::istringstream listing(NorikTest::RunShell("gsf list '" + document + "'").output);
    std::string line;
    int streams = 0;
    while (std::getline(listing, line)) {
        if (line.empty() || line[0] != 'f') continue;
        const std::string name = line.substr(line.find_last_of(' ') + 1);
        if (name.find('/') != std::string::npos) continue;
        const StreamRead read = ReadStream(document, NorikTest::Utf8ToUtf16(name), 100);
        ASSERT_EQ(read.openCode, 0) << name;
        EXPECT_EQ(read.readCode, 0) << name;
        EXPECT_EQ(read.bytes, NorikTest::RunShell("gsf cat '" + document + "' '" + name + "'").output) << name;
        EXPECT_FALSE(read.bytes.empty());
        ++streams;
    }
    EXPECT_GE(streams, 5);
    // Both sides of the cut-off are present in this document.
    EXPECT_GE(ReadStream(document, u"WordDocument").bytes.size(), 4096u);
    EXPECT_LT(ReadStream(document, u"1Table").bytes.size(), 4096u);
}

// ---------------------------------------------------------------------------------------------
// Containers of the test writer: both versions, a balanced tree

class WrittenContainer : public ::testing::TestWithParam<int> {};

TEST_P(WrittenContainer, FindsAndReadsEveryStream) {
    TempDir dir;
    std::mt19937 random(7);
    std::vector<CfbStream> streams;
    for (int i = 0; i < 300; ++i) {
        const size_t size = i % 10 == 0 ? 4096 + random() % 30000 : random() % 4096;
        streams.push_back({Ascii16("E" + std::to_string(i * 13) + ".t"), RandomBytes(random, size)});
    }
    const std::string path = dir.file("w.cfb");
    NorikTest::WriteFile(path, BuildCompoundFile(streams, GetParam()));
    std::shared_ptr<CompoundFile> file;
    ASSERT_EQ(CompoundFile::Open(path, file), 0);
    EXPECT_EQ(file->majorVersion(), GetParam());
    for (const CfbStream& s : streams) {
        const StreamRead read = ReadStream(path, s.name, 1000);
        ASSERT_EQ(read.openCode, 0);
        EXPECT_EQ(read.bytes, s.data);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, WrittenContainer, ::testing::Values(3, 4));

TEST(CompoundFileStream, AVersionThreeSizeIsItsLowHalf) {
    // Version 3 writers may leave anything in the high 32 bits of a stream size.
    TempDir dir;
    std::mt19937 random(4);
    const std::vector<CfbStream> streams = {{u"big", RandomBytes(random, 9000)}, {u"small", RandomBytes(random, 700)}};
    CfbLayout layout;
    std::string bytes = BuildCompoundFile(streams, 3, &layout);
    for (const std::uint32_t id : layout.entryId) NorikTest::SetDirectoryField(bytes, layout, id, 124, 0xDEADBEEFu);
    NorikTest::WriteFile(dir.file("junk.cfb"), bytes);
    for (const CfbStream& s : streams) {
        const StreamRead read = ReadStream(dir.file("junk.cfb"), s.name);
        EXPECT_EQ(read.openCode, 0);
        EXPECT_EQ(read.readCode, 0);
        EXPECT_TRUE(read.bytes == s.data) << read.bytes.size();
    }
}

TEST(CompoundFileStream, ChunkSizesGiveTheSameBytes) {
    TempDir dir;
    std::mt19937 random(3);
    const std::vector<CfbStream> streams = {{u"big", RandomBytes(random, 70000)},
                                            {u"small", RandomBytes(random, 3000)}};
    const std::string path = dir.file("c.cfb");
    NorikTest::WriteFile(path, BuildCompoundFile(streams));
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{4096}, size_t{65536}}) {
        EXPECT_EQ(ReadStream(path, u"big", chunk).bytes, streams[0].data) << chunk;
        EXPECT_EQ(ReadStream(path, u"small", chunk).bytes, streams[1].data) << chunk;
    }
}

// ---------------------------------------------------------------------------------------------
// Files that are not compound files, and damaged ones

TEST(CompoundFileOpen, MissingAndForeignFiles) {
    TempDir dir;
    std::shared_ptr<CompoundFile> file;
    EXPECT_EQ(CompoundFile::Open(dir.file("absent.sdb"), file), Norik::kStgFileNotFound);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(CompoundFile::Open(dir.folder(), file), Norik::kStgFileNotFound);
    NorikTest::WriteFile(dir.file("text"), std::string(4096, 'x'));
    EXPECT_EQ(CompoundFile::Open(dir.file("text"), file), Norik::kStgInvalidHeader);
    NorikTest::WriteFile(dir.file("short"), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    EXPECT_EQ(CompoundFile::Open(dir.file("short"), file), Norik::kStgInvalidHeader);

    const std::string good = BuildCompoundFile({{u"a", "abc"}});
    struct HeaderDamage {
        size_t offset;
        char value;
    };
    for (const HeaderDamage damage : {HeaderDamage{0, 'X'}, HeaderDamage{26, 5}, HeaderDamage{30, 12},
                                      HeaderDamage{28, 0}, HeaderDamage{32, 7}, HeaderDamage{57, 0x20}}) {
        std::string bytes = good;
        bytes[damage.offset] = damage.value;
        NorikTest::WriteFile(dir.file("bad"), bytes);
        EXPECT_EQ(CompoundFile::Open(dir.file("bad"), file), Norik::kStgInvalidHeader) << damage.offset;
    }
}

struct Damage {
    const char* what;
    std::function<void(std::string& file, const CfbLayout& layout)> apply;
};

class DamagedContainer : public ::testing::TestWithParam<Damage> {};

// Every stream of a damaged container either fails to open or delivers a prefix of its true
// bytes and then a negative code; nothing is read outside the file.
TEST_P(DamagedContainer, FailsCleanly) {
    TempDir dir;
    std::mt19937 random(11);
    std::vector<CfbStream> streams;
    for (int i = 0; i < 40; ++i) {
        streams.push_back({Ascii16("s" + std::to_string(i)), RandomBytes(random, i % 4 == 0 ? 9000 : 100 + 37 * i)});
    }
    CfbLayout layout;
    std::string bytes = BuildCompoundFile(streams, 3, &layout);
    GetParam().apply(bytes, layout);
    const std::string path = dir.file("damaged.cfb");
    NorikTest::WriteFile(path, bytes);
    int failures = 0;
    for (const CfbStream& s : streams) {
        const StreamRead read = ReadStream(path, s.name, 1000);
        if (read.openCode < 0 || read.readCode < 0) ++failures;
        if (read.openCode < 0) continue;
        ASSERT_LE(read.bytes.size(), s.data.size());
        if (read.readCode == 0) {
            EXPECT_EQ(read.bytes, s.data);
        } else {
            EXPECT_EQ(read.bytes, s.data.substr(0, read.bytes.size()));
        }
    }
    EXPECT_GT(failures, 0) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedContainer,
    ::testing::Values(
        Damage{"truncated in the stream data", [](std::string& f, const CfbLayout&) { f.resize(f.size() - 5000); }},
        Damage{"truncated before the directory",
               [](std::string& f, const CfbLayout& l) {
                   f.resize(NorikTest::SectorOffsetIn(l, l.firstDirectorySector) + 100);
               }},
        Damage{"a FAT chain that loops",
               [](std::string& f, const CfbLayout& l) {
                   NorikTest::SetFatEntry(f, l, l.firstSector[0] + 3, l.firstSector[0]);
               }},
        Damage{"a FAT chain into free sectors",
               [](std::string& f, const CfbLayout& l) { NorikTest::SetFatEntry(f, l, l.firstSector[4], 0xFFFFFFFFu); }},
        Damage{"a directory entry pointing past the end",
               [](std::string& f, const CfbLayout& l) {
                   NorikTest::SetDirectoryField(f, l, l.entryId[0], 116, 0x00FFFFF0u);
               }},
        Damage{"a stream size beyond the file",
               [](std::string& f, const CfbLayout& l) {
                   NorikTest::SetDirectoryField(f, l, l.entryId[8], 120, 0x7FFFFFF0u);
               }},
        Damage{"a mini-stream chain that loops",
               [](std::string& f, const CfbLayout& l) {
                   NorikTest::SetMiniFatEntry(f, l, l.firstSector[1] + 1, l.firstSector[1]);
               }},
        Damage{"a mini-stream chain out of range",
               [](std::string& f, const CfbLayout& l) {
                   NorikTest::SetMiniFatEntry(f, l, l.firstSector[2], 0x00FFFFFFu);
               }},
        Damage{"the mini stream's own chain loops",
               [](std::string& f, const CfbLayout& l) {
                   NorikTest::SetFatEntry(f, l, l.miniStreamStart + 1, l.miniStreamStart);
               }},
        Damage{"a directory chain that loops",
               [](std::string& f, const CfbLayout& l) {
                   NorikTest::SetFatEntry(f, l, l.firstDirectorySector + 1, l.firstDirectorySector);
               }},
        Damage{"a directory tree that loops",
               [](std::string& f, const CfbLayout& l) {
                   for (std::uint32_t id = 1; id <= 40; ++id) {
                       NorikTest::SetDirectoryField(f, l, id, 68, 1);
                       NorikTest::SetDirectoryField(f, l, id, 72, 1);
                   }
               }},
        Damage{"FAT sector count beyond the file",
               [](std::string& f, const CfbLayout&) { NorikTest::Store32(f, 44, 0x10000000u); }},
        Damage{"a FAT sector outside the file",
               [](std::string& f, const CfbLayout&) { NorikTest::Store32(f, 76, 0x00FFFFFFu); }},
        Damage{"a root entry that is not a root",
               [](std::string& f,
                  const CfbLayout& l) { f[NorikTest::SectorOffsetIn(l, l.firstDirectorySector) + 66] = 2; }}),
    [](const ::testing::TestParamInfo<Damage>& info) { return "Case" + std::to_string(info.index); });

// A container large enough for DIFAT sectors, from libgsf; its DIFAT is then damaged.
TEST(CompoundFileDamage, DifatThatLoopsOrLeavesTheFile) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "in");
    std::mt19937 random(9);
    std::vector<std::string> contents;
    for (int i = 0; i < 60; ++i) {
        contents.push_back(RandomBytes(random, 150000));
        NorikTest::WriteFile(dir.file("in/" + std::to_string(100 + i) + ".t"), contents.back());
    }
    const std::string container = dir.file("big.ole");
    NorikTest::RunShell("cd '" + dir.folder() + "in' && gsf createole '" + container + "' * >/dev/null 2>&1");
    ASSERT_GT(HeaderField(container, 44), 109u);
    EXPECT_EQ(ReadStream(container, u"159.t").bytes, contents[59]);
    const std::string good = NorikTest::ReadFile(container);
    const std::uint32_t firstDifat = HeaderField(container, 68);

    // The DIFAT sector names itself as a FAT sector: the FAT sectors it lists become garbage.
    std::string looping = good;
    NorikTest::Store32(looping, (firstDifat + 1) * 512 + 4 * 20, firstDifat);
    NorikTest::WriteFile(dir.file("loop.ole"), looping);
    std::string outside = good;
    NorikTest::Store32(outside, 68, 0x00FFFFFFu);
    NorikTest::WriteFile(dir.file("outside.ole"), outside);
    for (const std::string name : {"loop.ole", "outside.ole"}) {
        int failures = 0;
        for (int i = 0; i < 60; ++i) {
            const StreamRead read = ReadStream(dir.file(name), Ascii16(std::to_string(100 + i) + ".t"));
            if (read.openCode < 0 || read.readCode < 0) ++failures;
            EXPECT_LE(read.bytes.size(), contents[i].size());
            // Where the FAT itself is garbage the bytes can be too; a missing FAT sector cannot.
            if (name == "outside.ole") {
                EXPECT_EQ(read.bytes, contents[i].substr(0, read.bytes.size()));
            }
        }
        EXPECT_GT(failures, 0) << name;
    }
}

// A 200-sector stream whose chain is relinked to visit its sectors (numbered from its first) in
// the given order and then to come back to an earlier one: the bytes of the sectors visited once
// are delivered, then the loop is reported. Chains are kept as runs of adjacent sectors, so the
// cases cover a loop inside one run, into an earlier run, a run whose adjacent continuation
// runs into an earlier one, and the same with more runs than a search of the runs serves.
struct ChainLoop {
    const char* what;
    std::vector<std::uint32_t> order;
    std::uint32_t loopTo;
};

void PrintTo(const ChainLoop& loop, std::ostream* out) { *out << loop.what; }

class ChainLoopTest : public ::testing::TestWithParam<ChainLoop> {};

std::vector<std::uint32_t> Sectors(std::uint32_t from, std::uint32_t to, std::uint32_t step = 1) {
    std::vector<std::uint32_t> sectors;
    for (std::uint32_t s = from; s < to; s += step) sectors.push_back(s);
    return sectors;
}

std::vector<std::uint32_t> Joined(std::vector<std::uint32_t> a, const std::vector<std::uint32_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_P(ChainLoopTest, DeliversTheSectorsBeforeTheLoopThenFails) {
    TempDir dir;
    std::mt19937 random(5);
    CfbLayout layout;
    const std::vector<CfbStream> streams = {{u"long", RandomBytes(random, std::size_t{200} * 512)}};
    std::string bytes = BuildCompoundFile(streams, 3, &layout);
    const std::uint32_t first = layout.firstSector[0];
    const std::vector<std::uint32_t>& order = GetParam().order;
    ASSERT_EQ(order.front(), 0u);
    std::string expected;
    for (size_t i = 0; i < order.size(); ++i) {
        const std::uint32_t next = i + 1 < order.size() ? order[i + 1] : GetParam().loopTo;
        NorikTest::SetFatEntry(bytes, layout, first + order[i], first + next);
        expected += streams[0].data.substr(static_cast<std::size_t>(order[i]) * 512, 512);
    }
    NorikTest::WriteFile(dir.file("loop.cfb"), bytes);
    for (size_t chunk : {size_t{512}, size_t{65536}}) {
        const StreamRead read = ReadStream(dir.file("loop.cfb"), u"long", chunk);
        EXPECT_EQ(read.openCode, 0);
        EXPECT_EQ(read.readCode, Norik::kStgDocfileCorrupt) << GetParam().what;
        EXPECT_TRUE(read.bytes == expected) << GetParam().what << ", " << read.bytes.size() << " bytes in " << chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChainLoopTest,
    ::testing::Values(ChainLoop{"inside one run", Sectors(0, 151), 70},
                      ChainLoop{"into an earlier run", Joined(Sectors(0, 50), Sectors(120, 150)), 10},
                      ChainLoop{"a run that continues into an earlier one",
                                Joined(Sectors(0, 50), Joined(Sectors(100, 150), Sectors(50, 100))), 100},
                      ChainLoop{"many runs, into an earlier one", Sectors(0, 100, 2), 40},
                      ChainLoop{"many runs, continuing into an earlier one", Joined(Sectors(0, 40, 2), Sectors(21, 22)),
                                22}),
    [](const ::testing::TestParamInfo<ChainLoop>& info) { return "Case" + std::to_string(info.index); });

}  // namespace
