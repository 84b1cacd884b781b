#include "app/HelpLauncher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "Helpers/Folders.h"
#include "app/HelpWindow.h"

namespace Norik {

QString HelpFilePath() { return QString::fromStdString(GetProgramFolder()) + QStringLiteral("nrhelp.chm"); }

void OpenHelp(QWidget* parent) {
    const QString path = HelpFilePath();
    if (QFileInfo(path).isFile()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        return;
    }
    CHelpWindow::ShowHelp(parent);
}

}  // namespace Norik
