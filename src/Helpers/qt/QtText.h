// The model's Windows-1251 text as Qt strings and back, at the widget boundary. Every byte of the
// code page is one UTF-16 unit, so positions in the two forms agree. Pure functions; any thread.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "Helpers/Cp1251.h"

namespace Norik {

inline QString ToQString(std::string_view cp1251) {
    QString out(static_cast<qsizetype>(cp1251.size()), Qt::Uninitialized);
    QChar* at = out.data();
    for (const char c : cp1251) *at++ = QChar(static_cast<char16_t>(Cp1251ToUnicode(static_cast<unsigned char>(c))));
    return out;
}

// Characters without a Windows-1251 byte become "?".
inline std::string FromQString(const QString& text) { return Utf8ToCp1251(text.toUtf8().toStdString()); }

}  // namespace Norik
