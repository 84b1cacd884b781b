// Opening the attribute search dialog on a full-size base: building its lists (every number text
// of the document table) and painting it, then dropping down the number list and typing into it.
// With --shot the dialog is left with a completed type and a partly typed number and saved as a
// picture, to look at how it is laid out.
//
//   norik-tool sample DIR --documents 16000 --large
//   QT_QPA_PLATFORM=offscreen build/FindDialogBench DIR [--shot dialog.png]
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "platform/UserPort.h"
#include "search/qt/CAutoComboBox.h"
#include "search/qt/CFindDialog.h"
#include "showdata/ListDoc.h"

namespace {

// Prints what the dialog would show and declines every question.
class PrintingPort : public Norik::IUserPort {
public:
    Norik::MessageAnswer MessageBox(const std::string& text, const std::string&, Norik::MessageButtons,
                                    Norik::MessageIcon) override {
        std::printf("message: %s\n", Norik::Cp1251ToUtf8(text).c_str());
        return Norik::MessageAnswer::No;
    }
    void BeginWait() override {}
    void EndWait() override {}
    bool OpenDocumentText(const std::string&) override { return false; }
    void RunAttributeSearch(ShowData::SearchRequest&, const std::vector<std::int16_t>*) override {}
    void OpenResultListWindow(const std::vector<std::int16_t>&, const ShowData::SearchRequest&) override {}
};

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void Type(QWidget* widget, const char* utf8) {
    for (const QChar c : QString::fromUtf8(utf8)) {
        QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: FindDialogBench BASE_DIR [--shot FILE.png]\n");
        return 2;
    }
    const char* shot = argc > 3 && std::strcmp(argv[2], "--shot") == 0 ? argv[3] : nullptr;
    std::string base = argv[1];
    if (base.back() != '/') base += '/';
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = base});
    PrintingPort port;
    auto start = std::chrono::steady_clock::now();
    if (ShowData::CShowClass::Init(port) != Norik::kOk) {
        std::fprintf(stderr, "%s: the tables cannot be loaded\n", base.c_str());
        return 1;
    }
    std::printf("tables loaded in %.1f ms: %zu rows, %zu sections, %zu types\n", MillisecondsSince(start),
                ShowData::GetDocTable().size(), ShowData::GetClassTable().size(), ShowData::GetTypeList().size());

    std::vector<double> opening, popup, typing;
    for (int round = 0; round < 7; ++round) {
        ShowData::SearchRequest request;
        start = std::chrono::steady_clock::now();
        Norik::CFindDialog dialog(request, nullptr, port);
        dialog.show();
        QApplication::processEvents();
        opening.push_back(MillisecondsSince(start));

        auto* number = dialog.findChild<Norik::CAutoComboBox*>(QStringLiteral("number"));
        start = std::chrono::steady_clock::now();
        Type(number, "1");
        typing.push_back(MillisecondsSince(start));
        start = std::chrono::steady_clock::now();
        number->showPopup();
        QApplication::processEvents();
        popup.push_back(MillisecondsSince(start));
        number->hidePopup();
        if (round == 0)
            std::printf("number list: %d entries; type list: %d entries\n", number->count(),
                        dialog.findChild<Norik::CAutoComboBox*>(QStringLiteral("type"))->count());

        if (shot && round == 0) {
            auto* type = dialog.findChild<Norik::CAutoComboBox*>(QStringLiteral("type"));
            Type(type, "п");
            // The first two characters of the first long number, so that a tail is completed.
            number->lineEdit()->clear();
            for (int i = 0; i < number->count(); ++i) {
                if (number->itemText(i).size() >= 5) {
                    Type(number, number->itemText(i).left(2).toUtf8().constData());
                    break;
                }
            }
            QApplication::processEvents();
            dialog.grab().save(QString::fromLocal8Bit(shot));
            std::printf("saved %s (%dx%d): type \"%s\", number \"%s\"\n", shot, dialog.width(), dialog.height(),
                        type->lineEdit()->text().toUtf8().constData(), number->lineEdit()->text().toUtf8().constData());
        }
    }
    std::printf("opening the dialog (construct, fill, first paint): median %.1f ms, first %.1f ms\n", Median(opening),
                opening.front());
    std::printf("completing one typed character in the number field: median %.2f ms\n", Median(typing));
    std::printf("dropping down the number list: median %.1f ms\n", Median(popup));
    return 0;
}
