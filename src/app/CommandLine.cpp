#include "app/CommandLine.h"

#include "Version.h"

namespace Norik {

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine result;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument == QLatin1String("--base")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                result.error = QStringLiteral("--base: не указана папка базы");
                return result;
            }
            result.baseFolder = arguments[++i];
        } else if (!optionsEnded && argument.startsWith(QLatin1String("--base="))) {
            result.baseFolder = argument.mid(7);
            if (result.baseFolder->isEmpty()) {
                result.error = QStringLiteral("--base: не указана папка базы");
                return result;
            }
        } else if (!optionsEnded && argument.startsWith('-') && argument.size() > 1) {
            result.error = QStringLiteral("неизвестный параметр: ") + argument;
            return result;
        } else if (result.fileName.isEmpty()) {
            result.fileName = argument;
        } else {
            result.error = QStringLiteral("лишний параметр: ") + argument;
            return result;
        }
    }
    return result;
}

QString HelpOrVersionText(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--")) break;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return QStringLiteral(
                "Usage: norik [--base DIR] [FILE]\n"
                "Viewer of a database of Russian normative and legal documents (База документов).\n"
                "\n"
                "  --base DIR   read the base (Norik.sdb, the tables and the indexes) from DIR\n"
                "               for this run; without it the base is data/ beside the program,\n"
                "               or the installed one\n"
                "  FILE         the file name of a document of the base, its number in six\n"
                "               digits (000042), whose text opens at start\n"
                "  -h, --help   print this help and exit\n"
                "  --version    print the version and exit\n"
                "\n"
                "Exit status: 0 when the program is closed, 1 when it cannot start, 2 for a\n"
                "command line that cannot be understood. See norik(1).\n");
        if (argument == QLatin1String("--version"))
            return QStringLiteral("norik ") + QLatin1String(Version::kVersion) + QLatin1Char('\n');
    }
    return {};
}

}  // namespace Norik
