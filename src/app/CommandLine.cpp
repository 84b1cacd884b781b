#include "app/CommandLine.h"

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

}  // namespace Norik
