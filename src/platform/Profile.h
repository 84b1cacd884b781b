// The profile port: the per-user persistent settings.
//
// The core reads its settings only through this interface. The viewer implements it with
// QSettings (organisation "Velda Document DB", application "База документов"); tests and the
// command-line tool use MemoryProfile. Section and value names are UTF-8 here. Called on the
// user-interface thread only.
#pragma once

#include <map>
#include <string>
#include <utility>

namespace Norik {

// Section and value names of the settings the program knows.
inline constexpr const char* kSectionUpdatePath = "UpdatePath";
inline constexpr const char* kValueIndex = "Index";
inline constexpr const char* kValueLevelIndex = "LevelIndex";
inline constexpr const char* kSectionDefault = "Default";
inline constexpr const char* kValueInstall = "Install";
// How texts are read: the contents pane shown (1) or not (0), the zoom of texts and of lists in
// percent.
inline constexpr const char* kSectionReading = "Reading";
inline constexpr const char* kValueContents = "Contents";
inline constexpr const char* kValueTextZoom = "TextZoom";
inline constexpr const char* kValueListZoom = "ListZoom";

class IProfile {
public:
    virtual ~IProfile() = default;
    // The stored string, or defaultValue when absent.
    virtual std::string GetProfileString(const std::string& section, const std::string& entry,
                                         const std::string& defaultValue) = 0;
    // The stored integer, or defaultValue when absent.
    virtual int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) = 0;
    // Stores an integer; false when it could not be stored.
    virtual bool WriteProfileInt(const std::string& section, const std::string& entry, int value) = 0;
    // Stores a string (UTF-8); false when it could not be stored.
    virtual bool WriteProfileString(const std::string& section, const std::string& entry, const std::string& value) = 0;
};

// Settings held in memory: for tests and for runs that must not touch the user's settings.
class MemoryProfile : public IProfile {
public:
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) override {
        auto found = m_values.find({section, entry});
        return found == m_values.end() ? defaultValue : found->second;
    }
    int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) override {
        auto found = m_values.find({section, entry});
        if (found == m_values.end()) return defaultValue;
        try {
            return std::stoi(found->second);
        } catch (...) {
            return defaultValue;
        }
    }
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value) override {
        m_values[{section, entry}] = std::to_string(value);
        return true;
    }
    bool WriteProfileString(const std::string& section, const std::string& entry, const std::string& value) override {
        m_values[{section, entry}] = value;
        return true;
    }

private:
    std::map<std::pair<std::string, std::string>, std::string> m_values;
};

}  // namespace Norik
