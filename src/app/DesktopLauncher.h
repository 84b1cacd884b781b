// The desktop launcher offered on the first run: a ".desktop" file in the desktop folder that
// starts the running executable, marked executable so that the desktop trusts it.
// Any thread; touches only the file it writes.
#pragma once

#include <QString>

namespace Norik {

// Writes <desktopFolder>/<name>.desktop, creating the folder when missing; name is baseName, or
// "База Документов Norik" when baseName is empty. The launcher names the executable and the
// description "База данных Norik", and nothing else (no working folder, arguments or icon).
// Returns the file's path, or empty when it could not be written.
QString CreateDesktopLauncher(const QString& desktopFolder, const QString& executable, const QString& baseName);

// executable as a desktop entry's Exec value: quoted where it needs quoting, with the characters
// that are special inside quotes, and "%", escaped.
QString DesktopExecValue(const QString& executable);

}  // namespace Norik
