// Rebalancing the root directory of libgsf-written containers: gsf createole (version 3) and the
// libgsf library (version 4, a sub-storage, an empty root), then libgsf's own reader, our reader,
// the red-black shape read field by field, and damaged files that must stay as they were.
#include <gsf/gsf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "../Helpers/CompoundFileTestWriter.h"
#include "Helpers/CompoundFile.h"
#include "TestSupport.h"
#include "builder/DirectoryBalancer.h"

namespace {

using Norik::BalanceRootDirectory;
using Norik::CompoundFile;
using Norik::HResult;
using NorikTest::ReadFile;
using NorikTest::TempDir;
using NorikTest::WriteFile;

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::uint32_t kEnd = 0xFFFFFFFEu;

// ---------------------------------------------------------------------------------------------
// A plain parse of the structures the balancer touches, for checking and for aiming damage.

std::uint32_t Get32(const std::string& bytes, size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
    return value;
}

void Put32(std::string& bytes, size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<char>(value >> (8 * i));
}

struct RawEntry {
    std::u16string name;
    std::uint8_t type = 0;
    std::uint8_t colour = 0;
    std::uint32_t left = kNone, right = kNone, child = kNone;
};

struct Layout {
    std::uint32_t sectorSize = 512;
    std::vector<std::uint32_t> fatLocations;
    std::vector<std::uint32_t> directorySectors;
    std::vector<RawEntry> entries;
    size_t SectorOffset(std::uint32_t sector) const { return (static_cast<size_t>(sector) + 1) * sectorSize; }
    // Where directory entry id starts in the file.
    size_t EntryOffset(std::uint32_t id) const {
        const std::uint32_t perSector = sectorSize / 128;
        return SectorOffset(directorySectors.at(id / perSector)) + std::size_t{id % perSector} * 128;
    }
    size_t FatEntryOffset(std::uint32_t sector) const {
        return SectorOffset(fatLocations.at(sector / (sectorSize / 4))) + std::size_t{4} * (sector % (sectorSize / 4));
    }
};

Layout Parse(const std::string& bytes) {
    Layout layout;
    layout.sectorSize = 1u << (static_cast<unsigned char>(bytes.at(30)));
    const std::uint32_t perSector = layout.sectorSize / 4;
    const std::uint32_t fatCount = Get32(bytes, 44);
    for (std::uint32_t i = 0; i < std::min(fatCount, 109u); ++i)
        layout.fatLocations.push_back(Get32(bytes, 76 + 4 * i));
    for (std::uint32_t difat = Get32(bytes, 68); layout.fatLocations.size() < fatCount;) {
        for (std::uint32_t i = 0; i + 1 < perSector && layout.fatLocations.size() < fatCount; ++i) {
            layout.fatLocations.push_back(Get32(bytes, layout.SectorOffset(difat) + std::size_t{4} * i));
        }
        difat = Get32(bytes, layout.SectorOffset(difat) + std::size_t{4} * (perSector - 1));
    }
    for (std::uint32_t s = Get32(bytes, 48); s != kEnd && layout.directorySectors.size() < 100000;
         s = Get32(bytes, layout.FatEntryOffset(s))) {
        layout.directorySectors.push_back(s);
    }
    const std::uint32_t count = static_cast<std::uint32_t>(layout.directorySectors.size()) * (layout.sectorSize / 128);
    for (std::uint32_t id = 0; id < count; ++id) {
        const size_t at = layout.EntryOffset(id);
        RawEntry entry;
        const std::uint32_t nameBytes = static_cast<unsigned char>(bytes.at(at + 64));
        for (std::uint32_t i = 0; i + 2 < nameBytes && i < 64; i += 2) {
            entry.name.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes.at(at + i)) |
                                                       (static_cast<unsigned char>(bytes.at(at + i + 1)) << 8)));
        }
        entry.type = static_cast<std::uint8_t>(bytes.at(at + 66));
        entry.colour = static_cast<std::uint8_t>(bytes.at(at + 67));
        entry.left = Get32(bytes, at + 68);
        entry.right = Get32(bytes, at + 72);
        entry.child = Get32(bytes, at + 76);
        layout.entries.push_back(entry);
    }
    return layout;
}

// The root storage's tree as found: order, red-black properties, depth.
struct TreeShape {
    std::vector<std::uint32_t> inOrder;
    std::uint32_t depth = 0;
    bool rootBlack = true;
    bool noRedWithRedChild = true;
    bool equalBlackHeights = true;
    bool sorted = true;
    bool wellFormed = true;  // no id out of range, none reached twice, no runaway depth
};

TreeShape Shape(const Layout& layout, std::uint32_t top, std::uint32_t depthLimit = 100000) {
    TreeShape shape;
    std::vector<bool> seen(layout.entries.size(), false);
    int blackHeight = -1;
    // Iterative in-order walk carrying depth and black nodes passed.
    struct Frame {
        std::uint32_t id;
        std::uint32_t depth;
        int blacks;
        bool parentRed;
        bool expanded;
    };
    std::vector<Frame> stack{{top, 1, 0, false, false}};
    while (!stack.empty()) {
        Frame frame = stack.back();
        stack.pop_back();
        if (frame.id == kNone) {
            if (blackHeight < 0) blackHeight = frame.blacks;
            if (blackHeight != frame.blacks) shape.equalBlackHeights = false;
            continue;
        }
        if (frame.id >= layout.entries.size() || frame.depth > depthLimit) {
            shape.wellFormed = false;
            return shape;
        }
        const RawEntry& entry = layout.entries[frame.id];
        if (frame.expanded) {
            if (!shape.inOrder.empty() &&
                CompoundFile::CompareNames(layout.entries[shape.inOrder.back()].name, entry.name) > 0) {
                shape.sorted = false;
            }
            shape.inOrder.push_back(frame.id);
            continue;
        }
        if (seen[frame.id]) {
            shape.wellFormed = false;
            return shape;
        }
        seen[frame.id] = true;
        shape.depth = std::max(shape.depth, frame.depth);
        const bool red = entry.colour == 0;
        if (frame.depth == 1 && red) shape.rootBlack = false;
        if (red && frame.parentRed) shape.noRedWithRedChild = false;
        const int blacks = frame.blacks + (red ? 0 : 1);
        stack.push_back({entry.right, frame.depth + 1, blacks, red, false});
        stack.push_back({frame.id, frame.depth, blacks, red, true});
        stack.push_back({entry.left, frame.depth + 1, blacks, red, false});
    }
    return shape;
}

// ---------------------------------------------------------------------------------------------
// Containers

struct Stream {
    std::string name;  // UTF-8, as gsf takes and prints it
    std::string data;
};

// libgsf writes version 4 files correctly only while they stay below 128 sectors, so a larger
// version-4 container comes from the reader tests' writer (a balanced tree, all nodes black).
enum class Writer { GsfTool, LibraryV3, LibraryV4, TestWriterV4 };

std::string Bytes(size_t size, unsigned seed) {
    std::string data(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : data) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return data;
}

// count streams around the mini-stream cutoff, with names that differ only in case (Latin and
// Cyrillic) among numbered ones.
std::vector<Stream> MakeStreams(int count, bool withHugeStream) {
    static const char* const kCaseNames[] = {"Doc.t", "DOC.t", "doc.T", "Документ.t", "ДОКУМЕНТ.t", "документ.t"};
    static const size_t kSizes[] = {4096, 0, 1, 63, 64, 4095, 4097, 9000, 700, 12288, 4100, 100};
    std::vector<Stream> streams;
    for (int i = 0; i < count; ++i) {
        Stream stream;
        if (i < static_cast<int>(std::size(kCaseNames)) && count > 1) {
            stream.name = kCaseNames[i];
        } else {
            char name[32];
            std::snprintf(name, sizeof name, "%06d.t", i);
            stream.name = name;
        }
        stream.data = Bytes(kSizes[i % std::size(kSizes)] + static_cast<size_t>(i % 5), static_cast<unsigned>(i));
        streams.push_back(std::move(stream));
    }
    // Past 109 FAT sectors (about 7 MiB of version-3 file) the FAT is found through DIFAT sectors.
    if (withHugeStream) streams.push_back({"huge.t", Bytes(9u << 20, 99)});
    return streams;
}

void WriteWithGsfTool(const TempDir& dir, const std::string& container, const std::vector<Stream>& streams) {
    const std::string in = dir.file("in");
    ::mkdir(in.c_str(), 0755);
    for (const Stream& stream : streams) WriteFile(in + "/" + stream.name, stream.data);
    const NorikTest::CommandResult made =
        NorikTest::RunShell("cd '" + in + "' && gsf createole '" + container + "' * >/dev/null 2>&1");
    ASSERT_EQ(made.status, 0);
}

void WriteWithLibrary(const std::string& container, const std::vector<Stream>& streams, bool version4,
                      bool withStorage) {
    gsf_init();
    GError* error = nullptr;
    GsfOutput* sink = gsf_output_stdio_new(container.c_str(), &error);
    ASSERT_NE(sink, nullptr);
    GsfOutfile* outfile = gsf_outfile_msole_new_full(sink, version4 ? 4096 : 512, 64);
    auto add = [](GsfOutfile* parent, const std::string& name, const std::string& data) {
        GsfOutput* child = gsf_outfile_new_child(parent, name.c_str(), FALSE);
        gsf_output_write(child, data.size(), reinterpret_cast<const guint8*>(data.data()));
        gsf_output_close(child);
        g_object_unref(child);
    };
    for (const Stream& stream : streams) add(outfile, stream.name, stream.data);
    if (withStorage) {
        GsfOutput* storage = gsf_outfile_new_child(outfile, "Storage", TRUE);
        for (int i = 0; i < 20; ++i)
            add(GSF_OUTFILE(storage), "inner" + std::to_string(i), Bytes(std::size_t{100} * i, i));
        gsf_output_close(storage);
        g_object_unref(storage);
    }
    gsf_output_close(GSF_OUTPUT(outfile));  // closes the sink too
    g_object_unref(outfile);
    g_object_unref(sink);
}

std::string Quoted(const std::vector<Stream>& streams) {
    std::string arguments;
    for (const Stream& stream : streams) arguments += " '" + stream.name + "'";
    return arguments;
}

// Sorted lines, since libgsf's order of names equal but for case may follow the tree's shape.
std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// ---------------------------------------------------------------------------------------------
// Balancing real containers

struct Case {
    const char* label;
    int count;
    Writer writer;
    bool hugeStream = false;
    bool storage = false;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.label; }

class BalanceTest : public testing::TestWithParam<Case> {};

TEST_P(BalanceTest, GivesBalancedRedBlackTreeAndKeepsEveryStream) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string container = dir.file("Norik.sdb");
    const std::vector<Stream> streams = MakeStreams(c.count, c.hugeStream);
    if (c.writer == Writer::GsfTool) {
        ASSERT_NO_FATAL_FAILURE(WriteWithGsfTool(dir, container, streams));
    } else if (c.writer == Writer::TestWriterV4) {
        std::vector<NorikTest::CfbStream> cfb;
        for (const Stream& stream : streams) cfb.push_back({NorikTest::Utf8ToUtf16(stream.name), stream.data});
        WriteFile(container, NorikTest::BuildCompoundFile(cfb, 4));
    } else {
        ASSERT_NO_FATAL_FAILURE(WriteWithLibrary(container, streams, c.writer == Writer::LibraryV4, c.storage));
    }
    const std::string before = ReadFile(container);
    const Layout oldLayout = Parse(before);
    if (c.hugeStream) {
        ASSERT_GT(Get32(before, 72), 0u) << "no DIFAT sector";
    }
    const bool version4 = c.writer == Writer::LibraryV4 || c.writer == Writer::TestWriterV4;
    EXPECT_EQ(oldLayout.sectorSize, version4 ? 4096u : 512u);
    const TreeShape oldShape = Shape(oldLayout, oldLayout.entries.at(0).child);
    const size_t rootChildren = streams.size() + (c.storage ? 1 : 0);
    ASSERT_EQ(oldShape.inOrder.size(), rootChildren);
    const std::string listBefore = NorikTest::RunShell("gsf list '" + container + "'").output;

    ASSERT_EQ(BalanceRootDirectory(container), Norik::kOk);

    // Only the sibling, child and colour fields of directory entries changed.
    const std::string after = ReadFile(container);
    ASSERT_EQ(after.size(), before.size());
    std::set<size_t> fieldBytes;
    for (std::uint32_t id = 0; id < oldLayout.entries.size(); ++id) {
        for (size_t i = 67; i < 80; ++i) fieldBytes.insert(oldLayout.EntryOffset(id) + i);
    }
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] != after[i]) {
            ASSERT_TRUE(fieldBytes.count(i)) << "byte " << i << " changed";
        }
    }

    const Layout layout = Parse(after);
    const TreeShape shape = Shape(layout, layout.entries.at(0).child);
    ASSERT_TRUE(shape.wellFormed);
    std::vector<std::uint32_t> oldIds = oldShape.inOrder, newIds = shape.inOrder;
    std::sort(oldIds.begin(), oldIds.end());
    std::sort(newIds.begin(), newIds.end());
    EXPECT_EQ(newIds, oldIds);
    EXPECT_TRUE(shape.sorted);
    EXPECT_TRUE(shape.rootBlack);
    EXPECT_TRUE(shape.noRedWithRedChild);
    EXPECT_TRUE(shape.equalBlackHeights);
    const double n = static_cast<double>(rootChildren);
    EXPECT_LE(shape.depth, 2 * std::log2(n + 1));
    EXPECT_EQ(shape.depth, static_cast<std::uint32_t>(std::ceil(std::log2(n + 1))));
    if (rootChildren >= 100 && c.writer == Writer::GsfTool) {
        EXPECT_GT(oldShape.depth, 2 * std::log2(n + 1)) << "libgsf no longer writes a list";
    }
    if (c.storage) {
        // The sub-storage's own tree is left as libgsf wrote it.
        for (std::uint32_t id = 1; id < layout.entries.size(); ++id) {
            if (layout.entries[id].type != 1) continue;
            const TreeShape inner = Shape(layout, layout.entries[id].child);
            EXPECT_EQ(inner.inOrder, Shape(oldLayout, oldLayout.entries[id].child).inOrder);
            EXPECT_EQ(inner.inOrder.size(), 20u);
        }
    }

    // Our reader finds every stream by name and reads it whole.
    std::shared_ptr<CompoundFile> file;
    ASSERT_EQ(CompoundFile::Open(container, file), Norik::kOk);
    for (const Stream& stream : streams) {
        std::unique_ptr<Norik::CompoundStream> opened;
        ASSERT_EQ(file->OpenStream(NorikTest::Utf8ToUtf16(stream.name), opened), Norik::kOk) << stream.name;
        std::string read(stream.data.size() + 1, '\0');
        size_t delivered = 0;
        ASSERT_EQ(opened->Read(read.data(), read.size(), delivered), Norik::kOk);
        read.resize(delivered);
        EXPECT_TRUE(read == stream.data) << stream.name;
    }
    if (c.storage) {
        std::uint32_t id = 0;
        Norik::CompoundDirectoryEntry entry;
        EXPECT_EQ(file->FindRootChild(u"Storage", id, entry), Norik::kOk);
        EXPECT_EQ(entry.type, 1);
    }

    // libgsf's reader lists the same entries and delivers the same bytes.
    EXPECT_EQ(SortedLines(NorikTest::RunShell("gsf list '" + container + "'").output), SortedLines(listBefore));
    if (!streams.empty()) {
        std::string expected;
        for (const Stream& stream : streams) expected += stream.data;
        const NorikTest::CommandResult cat =
            NorikTest::RunShell("gsf cat '" + container + "'" + Quoted(streams) + " 2>/dev/null");
        EXPECT_EQ(cat.status, 0);
        EXPECT_TRUE(cat.output == expected);
    }

    // A balanced file stays as it is.
    ASSERT_EQ(BalanceRootDirectory(container), Norik::kOk);
    EXPECT_TRUE(ReadFile(container) == after);
}

INSTANTIATE_TEST_SUITE_P(Containers, BalanceTest,
                         testing::Values(Case{"OneStream", 1, Writer::GsfTool},
                                         Case{"SevenStreamsFullTree", 7, Writer::GsfTool},
                                         Case{"EightStreams", 8, Writer::GsfTool},
                                         Case{"HundredStreams", 100, Writer::GsfTool},
                                         Case{"FiveThousandStreams", 5000, Writer::GsfTool},
                                         Case{"FatThroughDifat", 100, Writer::GsfTool, true},
                                         Case{"Version4WithStorage", 30, Writer::LibraryV4, false, true},
                                         Case{"Version4ManyDirectorySectors", 2000, Writer::TestWriterV4},
                                         Case{"EmptyRoot", 0, Writer::LibraryV3}),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------------
// Damaged files are refused and left unchanged

struct Damage {
    const char* label;
    std::function<void(std::string& bytes, const Layout& layout)> apply;
    HResult expected;
    bool needsDifat = false;
};

void PrintTo(const Damage& d, std::ostream* out) { *out << d.label; }

class DamageTest : public testing::TestWithParam<Damage> {};

TEST_P(DamageTest, IsRefusedAndFileStaysUnchanged) {
    const Damage& d = GetParam();
    TempDir dir;
    const std::string container = dir.file("Norik.sdb");
    const std::vector<Stream> streams = MakeStreams(100, d.needsDifat);
    ASSERT_NO_FATAL_FAILURE(WriteWithGsfTool(dir, container, streams));
    std::string bytes = ReadFile(container);
    if (d.needsDifat) {
        ASSERT_GT(Get32(bytes, 72), 0u) << "no DIFAT sector";
    }
    const Layout layout = Parse(bytes);
    d.apply(bytes, layout);
    WriteFile(container, bytes);
    EXPECT_EQ(BalanceRootDirectory(container), d.expected);
    EXPECT_TRUE(ReadFile(container) == bytes);
}

std::uint32_t ListTail(const Layout& layout) {
    std::uint32_t id = layout.entries.at(0).child;
    while (layout.entries.at(id).right != kNone) id = layout.entries.at(id).right;
    return id;
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamageTest,
    testing::Values(
        Damage{"ShorterThanHeader", [](std::string& b, const Layout&) { b.resize(300); }, Norik::kStgInvalidHeader},
        Damage{"WrongSignature", [](std::string& b, const Layout&) { b[3] = 'x'; }, Norik::kStgInvalidHeader},
        Damage{"UnknownVersion", [](std::string& b, const Layout&) { b[26] = 5; }, Norik::kStgInvalidHeader},
        Damage{"TruncatedInDirectory",
               [](std::string& b, const Layout& l) { b.resize(l.SectorOffset(l.directorySectors.back()) + 100); },
               Norik::kStgDocfileCorrupt},
        Damage{"FatCountBeyondFile", [](std::string& b, const Layout&) { Put32(b, 44, 0x100000); },
               Norik::kStgDocfileCorrupt},
        Damage{"DirectoryStartOutOfRange", [](std::string& b, const Layout&) { Put32(b, 48, 0x7FFFFFF0); },
               Norik::kStgDocfileCorrupt},
        Damage{"DirectoryOnFatSector", [](std::string& b, const Layout& l) { Put32(b, 48, l.fatLocations[0]); },
               Norik::kStgDocfileCorrupt},
        Damage{"DirectoryChainLoops",
               [](std::string& b, const Layout& l) {
                   Put32(b, l.FatEntryOffset(l.directorySectors.back()), l.directorySectors.front());
               },
               Norik::kStgDocfileCorrupt},
        Damage{"DirectoryChainRunsIntoFreeSector",
               [](std::string& b, const Layout& l) { Put32(b, l.FatEntryOffset(l.directorySectors.back()), kNone); },
               Norik::kStgDocfileCorrupt},
        Damage{"RootEntryNotRoot", [](std::string& b, const Layout& l) { b[l.EntryOffset(0) + 66] = 1; },
               Norik::kStgDocfileCorrupt},
        Damage{"SiblingLoop",
               [](std::string& b, const Layout& l) { Put32(b, l.EntryOffset(ListTail(l)) + 72, l.entries[0].child); },
               Norik::kStgDocfileCorrupt},
        Damage{"SiblingOutOfRange",
               [](std::string& b, const Layout& l) { Put32(b, l.EntryOffset(ListTail(l)) + 68, 0x00FFFFFF); },
               Norik::kStgDocfileCorrupt},
        Damage{"SiblingIsRootEntry",
               [](std::string& b, const Layout& l) { Put32(b, l.EntryOffset(ListTail(l)) + 68, 0); },
               Norik::kStgDocfileCorrupt},
        Damage{"UnusedEntryInTree", [](std::string& b, const Layout& l) { b[l.EntryOffset(ListTail(l)) + 66] = 0; },
               Norik::kStgDocfileCorrupt},
        Damage{"NameLengthTooLong",
               [](std::string& b, const Layout& l) { b[l.EntryOffset(l.entries[0].child) + 64] = 66; },
               Norik::kStgDocfileCorrupt},
        Damage{"NameWithoutTerminator",
               [](std::string& b, const Layout& l) {
                   const size_t at = l.EntryOffset(l.entries[0].child);
                   b[at + static_cast<unsigned char>(b[at + 64]) - 2] = 'x';
               },
               Norik::kStgDocfileCorrupt},
        Damage{"DifatOutOfRange", [](std::string& b, const Layout&) { Put32(b, 68, 0x7FFFFFF0); },
               Norik::kStgDocfileCorrupt, true},
        Damage{"DifatCountTooSmall", [](std::string& b, const Layout&) { Put32(b, 72, 0); }, Norik::kStgDocfileCorrupt,
               true},
        Damage{"FatLocationInsideDifatChain", [](std::string& b, const Layout&) { Put32(b, 76, Get32(b, 68)); },
               Norik::kStgDocfileCorrupt, true}),
    [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.label); });

TEST(DirectoryBalancerFiles, MissingFileAndFolderAreNotFound) {
    TempDir dir;
    EXPECT_EQ(BalanceRootDirectory(dir.file("absent.sdb")), Norik::kStgFileNotFound);
    EXPECT_EQ(BalanceRootDirectory(dir.folder()), Norik::kStgFileNotFound);
    EXPECT_EQ(BalanceRootDirectory(dir.file("absent/Norik.sdb")), Norik::kStgFileNotFound);
}

}  // namespace
