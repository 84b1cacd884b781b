#include "platform/qt/SettingsProfile.h"

namespace Norik {

namespace {

QString Key(const std::string& section, const std::string& entry) {
    return QString::fromStdString(section) + '/' + QString::fromStdString(entry);
}

}  // namespace

CSettingsProfile::CSettingsProfile()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QString::fromUtf8(kSettingsOrganisation),
                                             QString::fromUtf8(kSettingsApplication))) {}

CSettingsProfile::CSettingsProfile(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

std::string CSettingsProfile::GetProfileString(const std::string& section, const std::string& entry,
                                               const std::string& defaultValue) {
    const QVariant value = m_settings->value(Key(section, entry));
    return value.isValid() ? value.toString().toStdString() : defaultValue;
}

int CSettingsProfile::GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) {
    const QVariant value = m_settings->value(Key(section, entry));
    if (!value.isValid()) return defaultValue;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : defaultValue;
}

bool CSettingsProfile::WriteProfileInt(const std::string& section, const std::string& entry, int value) {
    m_settings->setValue(Key(section, entry), value);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

bool CSettingsProfile::WriteProfileString(const std::string& section, const std::string& entry,
                                          const std::string& value) {
    m_settings->setValue(Key(section, entry), QString::fromStdString(value));
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

}  // namespace Norik
