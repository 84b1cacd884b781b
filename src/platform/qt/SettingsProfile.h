// The profile port over QSettings: the user's settings under organisation "Velda Document DB" and
// application "База документов" (an INI file under the user's configuration folder on Linux, the
// registry on Windows). A value is stored under "<section>/<entry>". User-interface thread only.
#pragma once

#include <QSettings>
#include <memory>

#include "platform/Profile.h"

namespace Norik {

// The settings' organisation and application names.
inline constexpr const char* kSettingsOrganisation = "Velda Document DB";
inline constexpr const char* kSettingsApplication = "База документов";

class CSettingsProfile : public IProfile {
public:
    // The user's own settings.
    CSettingsProfile();
    // Settings kept in the INI file at path (for runs that must not touch the user's settings).
    explicit CSettingsProfile(const QString& iniPath);

    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) override;
    int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) override;
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value) override;
    bool WriteProfileString(const std::string& section, const std::string& entry, const std::string& value) override;

private:
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace Norik
