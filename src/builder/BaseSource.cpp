#include "builder/BaseSource.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Helpers/DataFile.h"
#include "Helpers/Folders.h"

namespace Norik {

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& message) {
    bytes.clear();
    int fd = -1;
    if (const HResult code = OpenDataFile(path, fd); Failed(code)) {
        message = path + ": " + DataFileOpenProblem(code);
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
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
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
    return ReadWholeFile(m_folder + name, bytes, message);
}

std::vector<std::string> FolderSource::TextNames() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder + "texts", error))
        names.push_back(entry.path().filename().string());
    return names;
}

bool FolderSource::ReadText(const std::string& fileName, std::string& bytes, std::string& message) const {
    return ReadWholeFile(m_folder + "texts/" + fileName, bytes, message);
}

}  // namespace Norik
