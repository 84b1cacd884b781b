// The about box "О программе": a picture with the base's display name beside it (the text
// resource IDS_BASE_NAME), below them the copyright line and, on the next line, the program's
// description and version (the build's constants, generated/Version.h), and the default button
// "Да" that closes it. The two texts are the labels named "baseName" and "versionText". Shown modally over the main
// window. User-interface thread only.
#pragma once

#include <QDialog>

namespace Norik {

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent);

    // Copyright, a line end, description, one space, version.
    static QString VersionText();
};

}  // namespace Norik
