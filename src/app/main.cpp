// norik: the viewer. "norik [--base DIR] [FILE]" (see CommandLine.h).
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstring>

#include "app/CommandLine.h"
#include "app/CrashMessage.h"
#include "app/Velda1App.h"
#include "diagnostics/CrashReport.h"
#include "platform/qt/SettingsProfile.h"

int main(int argc, char** argv) {
    // Started by the crash handler of a program that failed: only tell the user where the report is.
    if (argc >= 3 && std::strcmp(argv[1], Norik::kCrashMessageArgument) == 0) return Norik::ShowCrashMessage(argv[2]);

    QStringList rawArguments;
    for (int i = 0; i < argc; ++i) rawArguments << QString::fromLocal8Bit(argv[i]);
    if (const QString text = Norik::HelpOrVersionText(rawArguments); !text.isEmpty()) {
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("norik"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/norik.png")));

    // Qt's own dialogs and window buttons in Russian, where the translations are installed.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    const Norik::CommandLine commandLine = Norik::ParseCommandLine(QApplication::arguments());
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "norik: %s\nusage: norik [--base DIR] [FILE]\n", qPrintable(commandLine.error));
        return 2;
    }

    Norik::CSettingsProfile profile;
    Norik::Cvelda1App velda(profile, "/proc/self/exe");
    Norik::Cvelda1App::Options options;
    if (commandLine.baseFolder) options.baseFolder = QFile::encodeName(*commandLine.baseFolder).toStdString();
    options.fileName = commandLine.fileName;
    if (!velda.InitInstance(options)) return 1;
    return QApplication::exec();
}
