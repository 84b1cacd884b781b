// Where the base builder takes its input from: the four text tables and one RTF text per document.
//
// FolderSource reads a source folder (class.ttx, typelist.ttx, Items.ttx, descript.ttx and
// texts/NNNNNN.rtf); the sample generator (SampleBase.h) provides the same input from memory.
// The builder reads the tables once on its own thread and the texts from several threads at once,
// so ReadText must be safe to call concurrently. Failures are returned as false with a message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Norik {

class BaseSource {
public:
    virtual ~BaseSource() = default;
    // How messages name a file of this source: the folder + name for a folder.
    virtual std::string Describe(const std::string& name) const = 0;
    // The bytes of the table file name ("class.ttx", ...).
    virtual bool ReadTable(const std::string& name, std::string& bytes, std::string& message) const = 0;
    // The file names present under texts/ ("000001.rtf", ...), in any order.
    virtual std::vector<std::string> TextNames() const = 0;
    // The bytes of texts/fileName. Called from several threads at once.
    virtual bool ReadText(const std::string& fileName, std::string& bytes, std::string& message) const = 0;
    // The folder the source reads, so that a build never writes into it; empty for a source that
    // lives in memory.
    virtual std::string Folder() const { return {}; }
};

class FolderSource : public BaseSource {
public:
    explicit FolderSource(std::string folder);
    std::string Describe(const std::string& name) const override;
    bool ReadTable(const std::string& name, std::string& bytes, std::string& message) const override;
    std::vector<std::string> TextNames() const override;
    bool ReadText(const std::string& fileName, std::string& bytes, std::string& message) const override;
    std::string Folder() const override { return m_folder; }

private:
    std::string m_folder;  // ends with "/"
};

// Reads a whole file; false with message set when it cannot be read, or when it is larger than
// limit bytes (0: no limit). The tables and texts of a folder are read within the bounds of
// BaseLimits.h.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& message, std::uint64_t limit = 0);

}  // namespace Norik
