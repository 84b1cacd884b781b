#include "builder/BaseSource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Helpers/BaseLimits.h"
#include "Helpers/DataFile.h"
#include "Helpers/Folders.h"

namespace Norik {

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& message, std::uint64_t limit) {
    bytes.clear();
    int fd = -1;
    if (const HResult code = OpenDataFile(path, fd); Failed(code)) {
        message = path + ": " + DataFileOpenProblem(code);
        return false;
    }
    // Checked before a byte is held: a file past its bound (a sparse one among them) would take
    // memory several times its size to read and check.
    struct stat info {};
    if (limit > 0 && ::fstat(fd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) > limit) {
        message = path + ": is " + std::to_string(info.st_size) + " bytes, more than the " + std::to_string(limit) +
                  " a file of its kind may have";
        ::close(fd);
        return false;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        message = path + ": " + std::system_category().message(errno);
        ::close(fd);
        return false;
    }
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, got);
        // A file that grows while it is read stops at its bound all the same.
        if (limit > 0 && bytes.size() > limit) break;
    }
    const bool failed = std::ferror(file) != 0;
    (void)std::fclose(file);  // read only: nothing to lose
    if (failed) {
        message = path + ": read error";
        return false;
    }
    return true;
}

FolderSource::FolderSource(std::string folder) : m_folder(WithTrailingSlash(std::move(folder))) {}

std::string FolderSource::Describe(const std::string& name) const { return m_folder + name; }

bool FolderSource::ReadTable(const std::string& name, std::string& bytes, std::string& message) const {
    return ReadWholeFile(m_folder + name, bytes, message, MaxBaseFileBytes(name));
}

std::vector<std::string> FolderSource::TextNames() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder + "texts", error))
        names.push_back(entry.path().filename().string());
    return names;
}

bool FolderSource::ReadText(const std::string& fileName, std::string& bytes, std::string& message) const {
    return ReadWholeFile(m_folder + "texts/" + fileName, bytes, message, kMaxDocumentTextBytes);
}

}  // namespace Norik
