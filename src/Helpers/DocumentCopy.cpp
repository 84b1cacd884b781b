#include "Helpers/DocumentCopy.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"

namespace Norik {

namespace {

constexpr int kCopyBlockSize = 65536;

bool ForbiddenInFileName(unsigned char c) {
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return c < 0x20 || c == 0x7F;
    }
}

bool TrimmedAtEnds(char c) { return c == ' ' || c == '.'; }

struct FileCloser {
    // Closes the file of a copy that failed already; a copy that succeeds checks its own close.
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};

}  // namespace

std::string FileNameFromTitle(std::string_view title, std::string_view fallback) {
    std::string name;
    name.reserve(std::min(title.size(), kMaxTitleFileNameLength));
    for (const char c : title) {
        if (name.size() == kMaxTitleFileNameLength) break;
        name.push_back(ForbiddenInFileName(static_cast<unsigned char>(c)) ? '_' : c);
    }
    // Leading dots would hide the file, trailing ones vanish on some systems; "." and ".." end
    // up empty, so the name never leaves its folder.
    const auto first = std::find_if_not(name.begin(), name.end(), TrimmedAtEnds);
    name.erase(name.begin(), first);
    while (!name.empty() && TrimmedAtEnds(name.back())) name.pop_back();
    return name.empty() ? std::string(fallback) : name;
}

std::string TemporaryCopyPath(std::string_view title, std::string_view fallback) {
    return GetTempFolder() + Cp1251ToUtf8(FileNameFromTitle(title, fallback)) + ".rtf";
}

bool CopyEntryToFile(SUn7zFile& entry, const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    bool copied = false;
    try {
        std::unique_ptr<char[]> block(new char[kCopyBlockSize]);
        bool written = true;
        for (int count; written && (count = entry.Read(block.get(), kCopyBlockSize)) > 0;) {
            written = std::fwrite(block.get(), 1, static_cast<std::size_t>(count), file.get()) ==
                      static_cast<std::size_t>(count);
        }
        // A damaged entry ends early: a shorter copy must not pass for the text.
        const bool whole = entry.delivered() == entry.length();
        copied = written && whole && std::fclose(file.release()) == 0;
    } catch (const std::bad_alloc&) {
        copied = false;
    }
    if (!copied) {
        file.reset();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return copied;
}

TemporaryFiles::~TemporaryFiles() { RemoveAll(); }

void TemporaryFiles::Add(const std::string& path) {
    if (std::find(m_paths.begin(), m_paths.end(), path) == m_paths.end()) m_paths.push_back(path);
}

void TemporaryFiles::RemoveAll() {
    for (const std::string& path : m_paths) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    m_paths.clear();
}

}  // namespace Norik
