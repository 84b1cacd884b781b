#include "Helpers/UserCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "diagnostics/ErrorLog.h"

namespace Norik {

namespace fs = std::filesystem;

namespace {

std::uint64_t Fnv1a(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

// Where the cache lies (the user's choice, taken as it is) and the folders of the program's own
// under it, down to UserCacheFolder.
struct CachePlace {
    fs::path root;
    std::vector<std::string> own;
};

CachePlace CacheRoot() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') return {xdg, {"Norik"}};
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != 0)
        return {fs::path(home) / ".cache", {"Norik"}};
    std::error_code error;
    return {fs::temp_directory_path(error), {"norik-cache-" + std::to_string(::getuid()), "Norik"}};
}

// Creates the missing folders of path, following whatever links it holds: for the cache's own
// location, which the user chose.
bool MakeFolders(const fs::path& path, std::string& error) {
    if (MakeFoldersPrivate(path.string())) return true;
    error = path.string() + ": cannot be created";
    return false;
}

// Opens the folder name inside the open folder parent without following a link, creating it with
// mode 0700 when create is set; it must be the user's own and is closed to everybody else.
FileDescriptor OpenOwnFolder(int parent, const std::string& name, bool create, const fs::path& shown,
                             std::string& error) {
    if (name.empty() || name == "." || name == "..") {
        error = shown.string() + ": not a folder name of the cache";
        return {};
    }
    // mkdirat applies the process's umask, which can only take bits away from 0700.
    if (create && ::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        error = shown.string() + ": cannot be created";
        return {};
    }
    FileDescriptor folder(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!folder || ::fstat(folder.get(), &info) != 0) {
        error = shown.string() + (errno == ENOENT ? ": missing" : ": is a link or no folder");
        return {};
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        error = shown.string() + ": belongs to another user";
        return {};
    }
    if ((info.st_mode & 077) != 0 && ::fchmod(folder.get(), 0700) != 0) {
        error = shown.string() + ": is open to other users and cannot be closed";
        return {};
    }
    return folder;
}

}  // namespace

fs::path UserCacheFolder() {
    CachePlace place = CacheRoot();
    fs::path folder = place.root;
    for (const std::string& name : place.own) folder /= name;
    return folder;
}

FileDescriptor OpenCacheFolder(const fs::path& relative, bool create, std::string& error) {
    CachePlace place = CacheRoot();
    if (relative.is_absolute()) {
        error = relative.string() + ": not inside the cache";
        return {};
    }
    for (const fs::path& part : relative.lexically_normal())
        if (!part.empty() && part != ".") place.own.push_back(part.string());
    if (create && !MakeFolders(place.root, error)) return {};
    FileDescriptor folder(::open(place.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        error = place.root.string() + ": cannot be opened";
        return {};
    }
    fs::path shown = place.root;
    for (const std::string& name : place.own) {
        shown /= name;
        FileDescriptor inner = OpenOwnFolder(folder.get(), name, create, shown, error);
        if (!inner) return {};
        folder = std::move(inner);
    }
    return folder;
}

bool MakePrivateFolders(const fs::path& path, std::string& error) {
    const fs::path relative = path.lexically_normal().lexically_relative(UserCacheFolder().lexically_normal());
    if (!relative.empty() && *relative.begin() != "..") {
        const fs::path inside = relative == "." ? fs::path() : relative;
        return static_cast<bool>(OpenCacheFolder(inside, true, error));
    }
    return MakeFolders(path, error);
}

std::string PathKey(const fs::path& path) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(path, error), error);
    std::string key = canonical.string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(Fnv1a(key)));
    return name;
}

}  // namespace Norik
