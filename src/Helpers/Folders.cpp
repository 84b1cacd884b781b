#include "Helpers/Folders.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "Helpers/BaseUpdate.h"
#include "platform/Profile.h"

namespace Norik {

namespace {

constexpr std::size_t kMaxPath = 260;

// The process-wide resolution state: the settings given at start and the folders remembered.
struct FolderState {
    FolderSettings settings;
    std::optional<std::string> dataFolder;   // rule A, once found
    std::optional<std::string> indexFolder;  // rule B, once computed
};

FolderState& State() {
    static FolderState state;
    return state;
}

std::string ProfileString(const char* section, const char* entry, const std::string& defaultValue) {
    IProfile* profile = State().settings.profile;
    return profile ? profile->GetProfileString(section, entry, defaultValue) : defaultValue;
}

int ProfileInt(const char* section, const char* entry, int defaultValue) {
    IProfile* profile = State().settings.profile;
    return profile ? profile->GetProfileInt(section, entry, defaultValue) : defaultValue;
}

bool IsDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// "data/" beside the program (the build folder, a program unpacked in one folder), else the
// installation's shared one; the one beside the program when neither exists, so that what cannot
// be opened is named where the base is first looked for.
std::string DefaultDataFolder() {
    const std::string programFolder = GetProgramFolder();
    std::string beside = programFolder + "data/";
    if (IsDirectory(beside)) return beside;
    const std::string shared = SharedFolderOf(programFolder);
    return !shared.empty() && IsDirectory(shared + "data/") ? shared + "data/" : beside;
}

// The "Index" folder of the settings; one "/" is always appended, as the setting is stored
// without one.
std::string AlternativeFolder() { return ProfileString(kSectionUpdatePath, kValueIndex, DefaultDataFolder()) + "/"; }

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

void ConfigureFolders(FolderSettings settings) {
    if (settings.baseOverride) settings.baseOverride = WithTrailingSlash(*settings.baseOverride);
    State() = FolderState{std::move(settings), std::nullopt, std::nullopt};
}

std::string WithTrailingSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    return folder;
}

std::string ExecutablePath() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string{} : executable.string();
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string{} : path.substr(0, slash + 1);
}

std::string ExecutableFolder() {
    const std::string path = ExecutablePath();
    return path.size() >= kMaxPath ? std::string{} : FolderOf(path);
}

std::string SharedFolderOf(const std::string& programFolder) {
    if (programFolder.empty()) return {};
    // The build gives the path from the executables' folder to the shared one, so that an
    // installation moved whole to another prefix still finds its files.
    const std::filesystem::path shared =
        (std::filesystem::path(WithTrailingSlash(programFolder)) / NORIK_SHARED_FROM_PROGRAM).lexically_normal();
    return WithTrailingSlash(shared.string());
}

std::string GetProgramFolder() {
    const std::string& configured = State().settings.programFolder;
    return configured.empty() ? ExecutableFolder() : WithTrailingSlash(configured);
}

std::string GetTempFolder() {
    const char* temp = std::getenv("TMPDIR");
    return WithTrailingSlash(temp && *temp ? temp : "/tmp");
}

std::string GetDataFolder() {
    FolderState& state = State();
    if (state.settings.baseOverride) return *state.settings.baseOverride;
    if (state.dataFolder) return *state.dataFolder;
    std::string candidate1 = DefaultDataFolder();
    if (FileExists(candidate1 + "Norik.sdb")) return *(state.dataFolder = candidate1);
    const std::string candidate2 = AlternativeFolder();
    if (FileExists(candidate2 + "Norik.sdb")) return *(state.dataFolder = candidate2);
    // Not remembered: a container that appears later is still found.
    return candidate1;
}

std::string GetIndexFolder() {
    FolderState& state = State();
    if (state.settings.baseOverride) return *state.settings.baseOverride;
    if (state.indexFolder) return *state.indexFolder;
    const std::string defaultFolder = DefaultDataFolder();
    const std::string alternative = AlternativeFolder();
    const int mode = ProfileInt(kSectionUpdatePath, kValueLevelIndex, 0);
    // Computed once, whatever happens next: a failed update is retried at the next start only.
    state.indexFolder = defaultFolder;
    if (mode == 1) {
        UpdateBase(alternative, defaultFolder, state.settings.userPort);
    } else if (mode == 2) {
        state.indexFolder = alternative;
    }
    return *state.indexFolder;
}

}  // namespace Norik
