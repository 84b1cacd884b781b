// Writing the container Norik.sdb: a compound file whose root storage holds one stream per entry,
// named entry name + ".t", each the 13-byte .lzma header (properties, dictionary size, 64-bit
// decoded length) followed by LZMA1 data.
//
// CompressEntry makes an entry's bytes with liblzma's .lzma (LZMA_Alone) encoder; it is a pure
// function and may run on many threads at once. ContainerWriter writes the compound file with
// libgsf's GsfOutfileMSOle, which it loads when it creates its first container (a libgsf that
// cannot be loaded makes Create fail with a message); it owns its libgsf objects and belongs to
// one thread. Failures are returned as false with a message; a failed container is removed by
// the caller (the builder writes into a temporary folder).
#pragma once

#include <string>
#include <string_view>

// libgsf's own names for its types, declared here so that its headers stay out of this one.
using GsfOutput = struct _GsfOutput;    // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
using GsfOutfile = struct _GsfOutfile;  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

namespace Norik {

// LZMA preset of the entries (the dictionary is cut to the entry's size, so small entries need
// small dictionaries when they are decoded).
inline constexpr int kEntryPreset = 6;

// The entry bytes of data: header with the real decoded length, then the LZMA1 data. Throws
// std::runtime_error when liblzma fails (out of memory) or data is 4 GiB or more.
std::string CompressEntry(std::string_view data, int preset = kEntryPreset);

class ContainerWriter {
public:
    ContainerWriter();
    ~ContainerWriter();
    ContainerWriter(const ContainerWriter&) = delete;
    ContainerWriter& operator=(const ContainerWriter&) = delete;

    bool Create(const std::string& path, std::string& message);
    // Adds the stream name + ".t" holding entryBytes (as made by CompressEntry).
    bool AddEntry(const std::string& name, std::string_view entryBytes, std::string& message);
    // Finishes the compound file and closes it.
    bool Close(std::string& message);

private:
    void Release();

    GsfOutput* m_sink = nullptr;
    GsfOutfile* m_outfile = nullptr;
    std::string m_path;
};

}  // namespace Norik
