#include "app/CrashMessage.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <memory>

namespace Norik {

QString CrashMessageText(const QString& logPath) {
    return QString::fromUtf8(
               "Программа выполнила недопустимую операцию.\n"
               "Вышлите, пожалуйста, разработчику информацию\n"
               "об ошибке которая находится:\n") +
           logPath;
}

int ShowCrashMessage(const char* logPath) {
    std::unique_ptr<QApplication> application;
    if (!QApplication::instance()) {
        static int argc = 1;
        static char name[] = "norik";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QApplication>(argc, argv);
    }
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8("База документов"),
                    CrashMessageText(QFile::decodeName(logPath ? logPath : "")), QMessageBox::Ok);
    box.exec();
    return 0;
}

}  // namespace Norik
