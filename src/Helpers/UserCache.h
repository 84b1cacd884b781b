// The program's folder in the user's cache ($XDG_CACHE_HOME/Norik, else ~/.cache/Norik, else a
// folder of the user's own in the temporary folder), for what it derives from a base and may make
// again at any time: the full-text indexes it builds, what the checks of index files found.
//
// Folders are made private to the user (mode 0700). Any thread; nothing is remembered.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace Norik {

// <cache>/Norik; the folder may not exist yet.
std::filesystem::path UserCacheFolder();

// Creates the missing folders of path, each with mode 0700; false with a message in error when one
// cannot be made.
bool MakePrivateFolders(const std::filesystem::path& path, std::string& error);

// A short name for a path in the cache: the 64-bit FNV-1a hash of its canonical absolute form (with
// no trailing "/"), in 16 hexadecimal digits.
std::string PathKey(const std::filesystem::path& path);

}  // namespace Norik
