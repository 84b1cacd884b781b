// Building the QTextDocument of a 17 MB RTF legal code with tables, against unrtf --html on the
// same file in the same run; then attaching it to a QTextBrowser and painting the first screen,
// which must not wait for the layout of the whole document.
//
//   QT_QPA_PLATFORM=offscreen build-xxx/RichTextQtBench [megabytes]     (default 17)
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPixmap>
#include <QTextBrowser>
#include <QTextDocument>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "../RichTextCorpus.h"
#include "richtext/qt/RtfDocumentBuilder.h"

namespace {

using RichTextCorpus::MakeCode;
using RichTextCorpus::Seconds;

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    double megabytes = argc > 1 ? std::strtod(argv[1], nullptr) : 17.0;
    auto folder = std::filesystem::temp_directory_path() / "norik-richtext-qt-bench";
    std::filesystem::create_directories(folder);
    for (bool unicode : {false, true}) {
        std::string rtf = MakeCode(static_cast<std::size_t>(megabytes * 1024 * 1024), unicode);
        std::string path = (folder / (unicode ? "code-unicode.rtf" : "code-cp1251.rtf")).string();
        std::ofstream(path, std::ios::binary) << rtf;
        const double mb = rtf.size() / (1024.0 * 1024.0);
        std::printf("%s: %.1f MB\n", unicode ? "\\uN form" : "\\'hh form", mb);

        // Built on a worker thread, as the text window does, in 64 KB blocks.
        std::unique_ptr<QTextDocument> doc;
        auto start = std::chrono::steady_clock::now();
        std::thread worker([&] {
            Norik::RtfDocumentLoader loader;
            for (std::size_t i = 0; i < rtf.size(); i += 65536) loader.Feed(std::string_view(rtf).substr(i, 65536));
            doc = loader.TakeDocument();
            doc->moveToThread(app.thread());
        });
        worker.join();
        double build = Seconds(start);
        std::printf("  norik QTextDocument  %8.3f s  %7.1f MB/s  (%d characters, %d blocks)\n", build, mb / build,
                    doc->characterCount(), doc->blockCount());

        start = std::chrono::steady_clock::now();
        int rc = std::system(("unrtf --html '" + path + "' > /dev/null 2>&1").c_str());
        double unrtf = Seconds(start);
        std::printf("  unrtf --html         %8.3f s  %7.1f MB/s  norik takes %.2f of its time%s\n", unrtf, mb / unrtf,
                    build / unrtf, rc ? " (unrtf failed)" : "");

        QTextBrowser browser;
        browser.setOpenLinks(false);
        browser.resize(1200, 900);
        start = std::chrono::steady_clock::now();
        browser.setDocument(doc.get());
        browser.show();
        QPixmap first = browser.viewport()->grab();
        double firstScreen = Seconds(start);
        std::printf("  attach + first screen %7.3f s\n", firstScreen);
        start = std::chrono::steady_clock::now();
        QSizeF size = doc->documentLayout()->documentSize();
        std::printf("  full layout (lazy, for reference) %7.3f s  (%.0f px high)\n", Seconds(start), size.height());
        browser.setDocument(nullptr);
        (void)std::fflush(stdout);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
