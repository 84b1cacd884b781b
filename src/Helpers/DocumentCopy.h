// Copies of a document's text outside the base: the file name made from a document's title, the
// copy of a container entry into a file, and the copies handed to the word processor, which live
// in a private folder of the run.
//
// Titles become file names by FileNameFromTitle: characters that no file system of the desktop
// accepts in a name ("/", "\", ":", "*", "?", """, "<", ">", "|", control characters) become "_",
// blanks and dots at either end go, and the name is cut to 120 characters and to what fits a
// file name with its extension (255 bytes of UTF-8, the file systems' encoding), so that a name
// made from any title stays inside the folder it is put in and can always be created.
//
// The copies for the word processor (TemporaryCopies) never touch a file of anybody else: each
// run makes its own folder "norik-copies-<process id>-XXXXXX" (mode 0700) in the temporary
// folder, and each copy is a new file of mode 0600 in it, created exclusively and never through a
// link. A list of the copies written, with what identifies each (inode, size, time of the last
// change), is kept in the folder: at the end only copies still as written are removed, then the
// list and the folder if nothing else is left. A copy the word processor saved changes into is the
// user's and stays, as does anything else put into the folder. The folder of a run that ended
// without that clean-up (killed, crashed) is cleaned the same way by a later start
// (RemoveAbandonedCopyFolders): only folders of that name, owned by the user, not links, whose
// process is no longer running.
//
// Texts are Windows-1251 bytes as the tables hold them; paths are the file system's (UTF-8).
// Pure functions and CopyEntryToFile may run on any thread; a TemporaryCopies object belongs to
// one thread. Nothing here throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Helpers/FileDescriptor.h"

namespace Norik {

// The longest name (in characters, before the extension) FileNameFromTitle makes.
inline constexpr std::size_t kMaxTitleFileNameLength = 120;
// The longest file name (bytes of UTF-8) the desktop's file systems take.
inline constexpr std::size_t kMaxFileNameBytes = 255;
// The room FileNameFromTitle leaves for an extension: ".rtf", ".pdf".
inline constexpr std::size_t kFileNameExtensionBytes = 4;

// A file name (without extension, Windows-1251) from a title; fallback when nothing is left. Its
// UTF-8 form with an extension of kFileNameExtensionBytes fits kMaxFileNameBytes.
std::string FileNameFromTitle(std::string_view title, std::string_view fallback);

class SUn7zFile;

// Copies the decoded bytes of the open container entry into file, which it closes, in blocks of
// 65,536 bytes. False when the entry does not decode whole or the file cannot be written; the
// file is then the caller's to remove. (Opening the entry is left to the caller: it resolves the
// data folder, which belongs to the user-interface thread, while the copy may run elsewhere.)
bool CopyEntryToFile(SUn7zFile& entry, FileDescriptor file);

// The copies handed to the word processor in this run (see above).
class TemporaryCopies {
public:
    // The private folder is made in parentFolder (ending with "/") at the first copy.
    explicit TemporaryCopies(std::string parentFolder);
    ~TemporaryCopies();
    TemporaryCopies(const TemporaryCopies&) = delete;
    TemporaryCopies& operator=(const TemporaryCopies&) = delete;

    struct NewCopy {
        std::string path;
        FileDescriptor file;  // open for writing
    };
    // A new, empty file for a copy: name (UTF-8, without extension, at most kMaxFileNameBytes
    // with ".rtf") + ".rtf" in the private folder; a name taken already gets " (2)", " (3)", ...
    // (the name cut to make room). Nothing when the folder or the file cannot be made.
    std::optional<NewCopy> Create(std::string_view name);
    // The copy at path (made by Create) is complete: it is listed, to be removed at the end if
    // it is still as written. False when it cannot be listed (it is then removed).
    bool Keep(const std::string& path);
    // Removes the copy at path (made by Create) that could not be written.
    void Discard(const std::string& path);
    // Removes the copies still as written, the list and the folder when nothing else is in it.
    // The destructor does the same.
    void RemoveAll();

    // The private folder (ending with "/"); empty before the first copy.
    const std::string& folder() const { return m_folder; }

private:
    std::string m_parentFolder;
    std::string m_folder;
};

// Cleans the copy folders in parentFolder (ending with "/") left by runs that are no longer
// running, as TemporaryCopies::RemoveAll would have; returns how many folders were removed.
int RemoveAbandonedCopyFolders(const std::string& parentFolder);

}  // namespace Norik
