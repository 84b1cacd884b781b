// Copies of a document's text outside the base: the file name made from a document's title, the
// copy of a container entry into a file, and the temporary copies that live until the end of the
// run.
//
// Titles become file names by FileNameFromTitle: characters that no file system of the desktop
// accepts in a name ("/", "\", ":", "*", "?", """, "<", ">", "|", control characters) become "_",
// blanks and dots at either end go, and the name is cut to 120 characters, so that a name made
// from any title stays inside the folder it is put in and within the length a file system takes.
//
// Texts are Windows-1251 bytes as the tables hold them; paths are the file system's (UTF-8).
// Pure functions and CopyEntryToFile may run on any thread; a TemporaryFiles object belongs to
// one thread. Nothing here throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Norik {

// The longest name (in characters, before the extension) FileNameFromTitle makes.
inline constexpr std::size_t kMaxTitleFileNameLength = 120;

// A file name (without extension, Windows-1251) from a title; fallback when nothing is left.
std::string FileNameFromTitle(std::string_view title, std::string_view fallback);

// The temporary copy's path of a document: the temporary folder + the name made from its title
// (fallback for an empty one) + ".rtf".
std::string TemporaryCopyPath(std::string_view title, std::string_view fallback);

class SUn7zFile;

// Copies the decoded bytes of the open container entry into the file path (created or truncated)
// in blocks of 65,536 bytes. False when the entry does not decode whole or the file cannot be
// written; the file is then removed. (Opening the entry is left to the caller: it resolves the
// data folder, which belongs to the user-interface thread, while the copy may run elsewhere.)
bool CopyEntryToFile(SUn7zFile& entry, const std::string& path);

// Files to be removed at the end of the run: Add records a path, RemoveAll (and the destructor)
// deletes every recorded file that still exists. Removal failures are ignored.
class TemporaryFiles {
public:
    TemporaryFiles() = default;
    ~TemporaryFiles();
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    void Add(const std::string& path);
    void RemoveAll();
    const std::vector<std::string>& paths() const { return m_paths; }

private:
    std::vector<std::string> m_paths;
};

}  // namespace Norik
