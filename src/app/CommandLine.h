// The viewer's command line: "norik [--base DIR] [FILE]". --base DIR reads the base from DIR for
// this run (the data and the index folder); FILE is a document text to open at start. Qt's own
// options are taken away by QApplication before this parse. Pure function; any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace Norik {

struct CommandLine {
    std::optional<QString> baseFolder;
    QString fileName;  // empty: none
    QString error;     // non-empty: the arguments are wrong and this says why
};

// arguments as QCoreApplication::arguments() gives them, the program first.
CommandLine ParseCommandLine(const QStringList& arguments);

// What "--help" (or "-h") or "--version" before the end of the options ("--") asks to print, the
// first of them that is given; empty when neither is. Looked for among the raw arguments before
// the application object exists, so that the answer needs no display.
QString HelpOrVersionText(const QStringList& arguments);

}  // namespace Norik
