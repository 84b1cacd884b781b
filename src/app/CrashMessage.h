// The message shown after a crash: the whole job of the helper process that the crash handler
// starts as "<program> --crash-message <log path>" (diagnostics/CrashReport.h). The program's
// main hands over to ShowCrashMessage before anything else when its first argument is
// kCrashMessageArgument, so that a damaged installation or settings cannot stop the message.
#pragma once

#include <QString>

namespace Norik {

// The text of the message for a log path.
QString CrashMessageText(const QString& logPath);

// Shows the message box, modal, until the user closes it, and returns the exit code (0). Creates
// the QApplication when there is none yet. Call on the main thread.
int ShowCrashMessage(const char* logPath);

}  // namespace Norik
