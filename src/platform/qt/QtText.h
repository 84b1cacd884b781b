// The one crossing between the model's Windows-1251 text and Qt's strings, for every widget.
// Pure functions; any thread.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "Helpers/Cp1251.h"

namespace Norik {

inline QString FromCp1251(std::string_view text) { return QString::fromStdString(Cp1251ToUtf8(text)); }

// Characters without a Windows-1251 byte become "?".
inline std::string ToCp1251(const QString& text) { return Utf8ToCp1251(text.toStdString()); }

}  // namespace Norik
