#include "app/HelpLauncher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "Helpers/Folders.h"
#include "app/HelpWindow.h"

namespace Norik {

QString HelpFilePath() {
    // Beside the program, or in the installation's shared folder with the base.
    const std::string programFolder = GetProgramFolder();
    const QString beside = QString::fromStdString(programFolder) + QStringLiteral("nrhelp.chm");
    const QString shared = QString::fromStdString(SharedFolderOf(programFolder)) + QStringLiteral("nrhelp.chm");
    return !QFileInfo(beside).isFile() && QFileInfo(shared).isFile() ? shared : beside;
}

void OpenHelp(QWidget* parent) {
    const QString path = HelpFilePath();
    if (QFileInfo(path).isFile()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        return;
    }
    CHelpWindow::ShowHelp(parent);
}

}  // namespace Norik
