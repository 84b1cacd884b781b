// The program's folder in the user's cache ($XDG_CACHE_HOME/Norik, else ~/.cache/Norik, else a
// folder of the user's own in the temporary folder), for what it derives from a base and may make
// again at any time: the full-text indexes it builds, what the checks of index files found.
//
// The folders of the program's own (Norik, the user's folder in the temporary folder, and every
// folder below them) are made with mode 0700 and opened one at a time from the one above without
// following a link: each must be a real folder owned by the user; one that others may enter is
// closed to them (mode 0700) first. A link, a folder of somebody else's or anything else in the
// place of one is refused, so nothing is read from or written to a place the user does not own.
// The cache's own location (the environment's, or ~/.cache) is the user's to choose and is taken
// as it is. Any thread; nothing is remembered.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "Helpers/FileDescriptor.h"

namespace Norik {

// <cache>/Norik; the folder may not exist yet.
std::filesystem::path UserCacheFolder();

// Opens the folder relative (a relative path, "" for the program's folder itself) under
// UserCacheFolder as described above, creating what is missing when create is set. An empty
// descriptor, with a message in error, when a folder is missing (without create), refused or
// cannot be made.
FileDescriptor OpenCacheFolder(const std::filesystem::path& relative, bool create, std::string& error);

// Creates the missing folders of path, each with mode 0700: under UserCacheFolder through
// OpenCacheFolder; false with a message in error when one cannot be made or is refused.
bool MakePrivateFolders(const std::filesystem::path& path, std::string& error);

// A short name for a path in the cache: the 64-bit FNV-1a hash of its canonical absolute form (with
// no trailing "/"), in 16 hexadecimal digits.
std::string PathKey(const std::filesystem::path& path);

}  // namespace Norik
