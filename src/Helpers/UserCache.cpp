#include "Helpers/UserCache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

}  // namespace

fs::path UserCacheFolder() {
    fs::path cache;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
        cache = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != 0) {
        cache = fs::path(home) / ".cache";
    } else {
        cache = fs::temp_directory_path() / ("norik-cache-" + std::to_string(::getuid()));
    }
    return cache / "Norik";
}

bool MakePrivateFolders(const fs::path& path, std::string& error) {
    std::error_code code;
    if (fs::is_directory(path, code)) return true;
    if (path.has_parent_path() && path.parent_path() != path && !MakePrivateFolders(path.parent_path(), error))
        return false;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = path.string() + ": cannot be created";
        return false;
    }
    return true;
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
