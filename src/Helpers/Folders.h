// The folders in which the program finds its database.
//
// The program folder is the folder of the running executable; the default data folder is the
// program folder + "data/", or, when there is no such folder, the "data/" of the installation's
// shared folder (SharedFolderOf) when that one exists: an installed program keeps its executables
// in <prefix>/lib/norik/ and its base in <prefix>/share/norik/data/. GetDataFolder (where the container Norik.sdb is
// read) and GetIndexFolder (where the tables <name>.ttx are read) resolve their folder once per process and remember
// it, by the settings of section "UpdatePath" (Profile.h). GetIndexFolder's first call may bring the local base up to
// date from the update folder (BaseUpdate.h). Every folder ends with "/".
//
// The resolution state is process-wide: the program configures it once at start with
// ConfigureFolders (the profile and user port it is given must outlive their use); tests call it
// again to start afresh. A base folder override (the --base DIR of the executables) makes both
// folders DIR for the run. User-interface thread only.
#pragma once

#include <optional>
#include <string>

namespace Norik {

class IProfile;
class IUserPort;

struct FolderSettings {
    IProfile* profile = nullptr;              // settings; none means every value takes its default
    IUserPort* userPort = nullptr;            // where the base update's message goes; none means it is dropped
    std::string programFolder;                // empty: the running executable's folder
    std::optional<std::string> baseOverride;  // --base DIR
};

// Resets the remembered folders and takes new settings.
void ConfigureFolders(FolderSettings settings);

std::string GetProgramFolder();
std::string GetTempFolder();
std::string GetDataFolder();
std::string GetIndexFolder();

// The full path of the running executable, however long; empty when it cannot be found.
std::string ExecutablePath();
// The folder of path (everything up to its last "/", which stays); empty when it has none.
std::string FolderOf(const std::string& path);
// The folder of the running executable, ending with "/"; empty when it cannot be found or its
// path has 260 characters or more (the program folder the data folder is built from).
std::string ExecutableFolder();

// The installation's folder of architecture-independent files (<prefix>/share/norik/) seen from
// the folder of its executables, ending with "/"; empty for an empty program folder.
std::string SharedFolderOf(const std::string& programFolder);

// folder with exactly one "/" appended when it does not already end with one.
std::string WithTrailingSlash(std::string folder);

}  // namespace Norik
