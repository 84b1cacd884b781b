// A small compound-file writer for tests and fuzz targets: root-level streams only, version 3 or
// 4, a balanced directory tree, small streams in the mini stream. It records where it put each
// structure so that tests can damage a container precisely.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Helpers/CompoundFile.h"

namespace NorikTest {

struct CfbStream {
    std::u16string name;
    std::string data;
};

struct CfbLayout {
    std::uint32_t sectorSize = 512;
    std::vector<std::uint32_t> fatSectors;
    std::uint32_t firstDirectorySector = 0;
    std::vector<std::uint32_t> miniFatSectors;
    std::uint32_t miniStreamStart = 0;
    // Per stream, in the order given: its directory entry and its first (mini) sector.
    std::vector<std::uint32_t> entryId;
    std::vector<std::uint32_t> firstSector;
};

inline void Store32(std::string& file, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::uint64_t SectorOffsetIn(const CfbLayout& layout, std::uint32_t sector) {
    return (static_cast<std::uint64_t>(sector) + 1) * layout.sectorSize;
}

inline std::string BuildCompoundFile(const std::vector<CfbStream>& streams, int version = 3,
                                     CfbLayout* layoutOut = nullptr) {
    constexpr std::uint32_t kFree = 0xFFFFFFFFu, kEnd = 0xFFFFFFFEu, kFatSect = 0xFFFFFFFDu;
    CfbLayout layout;
    const std::uint32_t ss = version == 4 ? 4096 : 512;
    const std::uint32_t eps = ss / 4;
    layout.sectorSize = ss;
    const auto n = static_cast<std::uint32_t>(streams.size());
    auto sectorsFor = [&](std::uint64_t bytes) { return static_cast<std::uint32_t>((bytes + ss - 1) / ss); };

    // The mini stream: small streams one after another, each rounded up to 64 bytes.
    std::string miniStream;
    std::vector<std::uint32_t> miniFat;
    layout.firstSector.assign(n, kEnd);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::string& data = streams[i].data;
        if (data.empty() || data.size() >= 4096) continue;
        const auto first = static_cast<std::uint32_t>(miniStream.size() / 64);
        const auto count = static_cast<std::uint32_t>((data.size() + 63) / 64);
        layout.firstSector[i] = first;
        for (std::uint32_t k = 0; k < count; ++k) miniFat.push_back(k + 1 < count ? first + k + 1 : kEnd);
        miniStream += data;
        miniStream.resize(static_cast<std::size_t>(first + count) * 64, '\0');
    }
    const std::uint32_t directorySectors = sectorsFor(static_cast<std::uint64_t>(n + 1) * 128);
    const std::uint32_t miniFatSectors = sectorsFor(static_cast<std::uint64_t>(miniFat.size()) * 4);
    const std::uint32_t miniStreamSectors = sectorsFor(miniStream.size());
    std::uint32_t bigSectors = 0;
    for (const CfbStream& s : streams) {
        if (s.data.size() >= 4096) bigSectors += sectorsFor(s.data.size());
    }
    const std::uint32_t others = directorySectors + miniFatSectors + miniStreamSectors + bigSectors;
    std::uint32_t fatCount = 1;
    while (static_cast<std::uint64_t>(fatCount) * eps < others + fatCount) ++fatCount;
    if (fatCount > 109) throw std::runtime_error("test writer: too large for a header-only DIFAT");
    const std::uint32_t total = fatCount + others;

    std::vector<std::uint32_t> fat(static_cast<std::size_t>(fatCount) * eps, kFree);
    std::uint32_t next = 0;
    auto allocate = [&](std::uint32_t count) {
        const std::uint32_t first = next;
        for (std::uint32_t k = 0; k < count; ++k) fat[first + k] = k + 1 < count ? first + k + 1 : kEnd;
        next += count;
        return count == 0 ? kEnd : first;
    };
    for (std::uint32_t k = 0; k < fatCount; ++k) {
        layout.fatSectors.push_back(next);
        fat[next++] = kFatSect;
    }
    layout.firstDirectorySector = allocate(directorySectors);
    const std::uint32_t firstMiniFat = allocate(miniFatSectors);
    for (std::uint32_t k = 0; k < miniFatSectors; ++k) layout.miniFatSectors.push_back(firstMiniFat + k);
    layout.miniStreamStart = allocate(miniStreamSectors);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (streams[i].data.size() >= 4096) layout.firstSector[i] = allocate(sectorsFor(streams[i].data.size()));
    }

    // Directory: root, then the streams in the order given; a balanced tree by the format's order.
    std::vector<std::uint32_t> order(n);
    for (std::uint32_t i = 0; i < n; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return Norik::CompoundFile::CompareNames(streams[a].name, streams[b].name) < 0;
    });
    std::vector<std::uint32_t> left(n + 1, kFree), right(n + 1, kFree);
    std::function<std::uint32_t(std::size_t, std::size_t)> build = [&](std::size_t lo, std::size_t hi) {
        if (lo >= hi) return kFree;
        const std::size_t mid = (lo + hi) / 2;
        const std::uint32_t id = order[mid] + 1;
        left[id] = build(lo, mid);
        right[id] = build(mid + 1, hi);
        return id;
    };
    const std::uint32_t treeRoot = build(0, n);
    std::string directory(static_cast<std::size_t>(directorySectors) * ss, '\0');
    auto writeEntry = [&](std::uint32_t id, const std::u16string& name, std::uint8_t type, std::uint32_t l,
                          std::uint32_t r, std::uint32_t child, std::uint32_t start, std::uint64_t size) {
        const std::size_t at = static_cast<std::size_t>(id) * 128;
        for (std::size_t k = 0; k < name.size() && k < 31; ++k) {
            directory[at + 2 * k] = static_cast<char>(name[k] & 0xFF);
            directory[at + 2 * k + 1] = static_cast<char>(name[k] >> 8);
        }
        const auto bytes = static_cast<std::uint16_t>((std::min<std::size_t>(name.size(), 31) + 1) * 2);
        directory[at + 64] = static_cast<char>(bytes & 0xFF);
        directory[at + 65] = static_cast<char>(bytes >> 8);
        directory[at + 66] = static_cast<char>(type);
        directory[at + 67] = 1;  // black
        Store32(directory, at + 68, l);
        Store32(directory, at + 72, r);
        Store32(directory, at + 76, child);
        Store32(directory, at + 116, start);
        Store32(directory, at + 120, static_cast<std::uint32_t>(size));
        Store32(directory, at + 124, static_cast<std::uint32_t>(size >> 32));
    };
    for (std::uint32_t id = n + 1; id < directory.size() / 128; ++id) {
        Store32(directory, id * 128 + 68, kFree);
        Store32(directory, id * 128 + 72, kFree);
        Store32(directory, id * 128 + 76, kFree);
    }
    writeEntry(0, u"Root Entry", 5, kFree, kFree, treeRoot, layout.miniStreamStart, miniStream.size());
    for (std::uint32_t i = 0; i < n; ++i) {
        writeEntry(i + 1, streams[i].name, 2, left[i + 1], right[i + 1], kFree, layout.firstSector[i],
                   streams[i].data.size());
        layout.entryId.push_back(i + 1);
    }

    std::string file(ss + static_cast<std::size_t>(total) * ss, '\0');
    const char signature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
    std::copy(signature, signature + 8, file.begin());
    auto store16 = [&](std::size_t at, std::uint16_t v) {
        file[at] = static_cast<char>(v & 0xFF);
        file[at + 1] = static_cast<char>(v >> 8);
    };
    store16(24, 0x3E);
    store16(26, static_cast<std::uint16_t>(version));
    store16(28, 0xFFFE);
    store16(30, version == 4 ? 12 : 9);
    store16(32, 6);
    Store32(file, 40, version == 4 ? directorySectors : 0);
    Store32(file, 44, fatCount);
    Store32(file, 48, layout.firstDirectorySector);
    Store32(file, 56, 4096);
    Store32(file, 60, miniFatSectors ? firstMiniFat : kEnd);
    Store32(file, 64, miniFatSectors);
    Store32(file, 68, kEnd);
    Store32(file, 72, 0);
    for (std::uint32_t k = 0; k < 109; ++k) Store32(file, 76 + 4 * k, k < fatCount ? layout.fatSectors[k] : kFree);
    for (std::size_t k = 0; k < fat.size(); ++k) {
        Store32(file, SectorOffsetIn(layout, layout.fatSectors[k / eps]) + std::size_t{k % eps} * 4, fat[k]);
    }
    auto place = [&](std::uint32_t first, const std::string& bytes) {
        if (!bytes.empty())
            std::copy(bytes.begin(), bytes.end(),
                      file.begin() + static_cast<std::ptrdiff_t>(SectorOffsetIn(layout, first)));
    };
    place(layout.firstDirectorySector, directory);
    std::string miniFatBytes(static_cast<std::size_t>(miniFatSectors) * ss, '\xFF');
    for (std::size_t k = 0; k < miniFat.size(); ++k) Store32(miniFatBytes, k * 4, miniFat[k]);
    if (miniFatSectors) place(firstMiniFat, miniFatBytes);
    if (miniStreamSectors) place(layout.miniStreamStart, miniStream);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (streams[i].data.size() >= 4096) place(layout.firstSector[i], streams[i].data);
    }
    if (layoutOut) *layoutOut = layout;
    return file;
}

inline void SetFatEntry(std::string& file, const CfbLayout& layout, std::uint32_t sector, std::uint32_t value) {
    const std::uint32_t eps = layout.sectorSize / 4;
    Store32(file, SectorOffsetIn(layout, layout.fatSectors.at(sector / eps)) + std::size_t{sector % eps} * 4, value);
}

inline void SetMiniFatEntry(std::string& file, const CfbLayout& layout, std::uint32_t miniSector, std::uint32_t value) {
    const std::uint32_t eps = layout.sectorSize / 4;
    Store32(file,
            SectorOffsetIn(layout, layout.miniFatSectors.at(miniSector / eps)) + std::size_t{miniSector % eps} * 4,
            value);
}

// Overwrites a 32-bit field of a directory entry (the directory lies in consecutive sectors).
inline void SetDirectoryField(std::string& file, const CfbLayout& layout, std::uint32_t id, std::size_t field,
                              std::uint32_t value) {
    Store32(file, SectorOffsetIn(layout, layout.firstDirectorySector) + std::size_t{id} * 128 + field, value);
}

}  // namespace NorikTest
