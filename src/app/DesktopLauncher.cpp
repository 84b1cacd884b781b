#include "app/DesktopLauncher.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace Norik {

namespace {

// A desktop entry's string value: backslashes and line breaks escaped.
QString EntryString(QString text) {
    text.replace('\\', QStringLiteral("\\\\"));
    text.replace('\n', QStringLiteral("\\n"));
    text.replace('\r', QStringLiteral("\\r"));
    text.replace('\t', QStringLiteral("\\t"));
    return text;
}

}  // namespace

QString DesktopExecValue(const QString& executable) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString value = executable;
    value.replace('%', QStringLiteral("%%"));
    bool needsQuotes = false;
    for (const QChar c : value) needsQuotes = needsQuotes || reserved.contains(c);
    if (needsQuotes) {
        QString quoted;
        for (const QChar c : value) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
            quoted += c;
        }
        value = '"' + quoted + '"';
    }
    // The Exec value is a string value too: its backslashes are escaped once more.
    return EntryString(value);
}

QString CreateDesktopLauncher(const QString& desktopFolder, const QString& executable, const QString& baseName) {
    if (desktopFolder.isEmpty() || executable.isEmpty() || !QDir().mkpath(desktopFolder)) return {};
    QString name = baseName.isEmpty() ? QStringLiteral("База Документов Norik") : baseName;
    // A name is one file name: a "/" in it would point into another folder.
    name.replace('/', '_');
    QString path = QDir(desktopFolder).filePath(name + QStringLiteral(".desktop"));
    const QString entry =
        QStringLiteral(
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Version=1.0\n"
            "Name=%1\n"
            "Comment=%2\n"
            "Exec=%3\n"
            "Terminal=false\n")
            .arg(EntryString(name), QStringLiteral("База данных Norik"), DesktopExecValue(executable));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(entry.toUtf8());
    if (!file.commit()) return {};
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return path;
}

}  // namespace Norik
