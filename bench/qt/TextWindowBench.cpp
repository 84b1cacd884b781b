// Opening a document text in a text window: the time from the command to the first paint of the
// text, to the whole document in place and to its whole layout, and the first paint after a jump
// to the end; for the 17 MB code of the rich-text benchmarks and for the largest document of a
// sample base, against `unrtf --html` and `soffice --headless --convert-to pdf` on the same RTF in
// the same run. Then the memory after opening and after closing over ten open/close cycles.
//
//   QT_QPA_PLATFORM=offscreen build/TextWindowBench [sample base folder]
//
// The sample base is made by `norik-tool sample DIR --documents 16000 --large`; without it only
// the code is measured. soffice is skipped when it is not installed.
//
// Print preview of the same texts (whole text in its window): the time from the command to the
// first page painted in the preview, the longest the window's events waited while the preview laid
// the rest out, the time until every page is laid out, and the time to print every page to a PDF.
// With --preview, only this is measured:
//
//   QT_QPA_PLATFORM=offscreen build/TextWindowBench --preview [sample base folder]
//
// Reading the same texts (with --reading): when the contents are ready, against the whole text read
// and shown; what finding them costs the loader's worker (the outline found over the RTF alone);
// "go to article" to the last article, to its first paint; and a zoom step in the middle of the
// text (the contents pane shown, marking its entry as the window scrolls): the time the command
// itself holds the window, from the command to the place being read shown again, with the longest
// the window's events waited meanwhile, and until the rest of the text is laid out at the new size,
// with the longest wait meanwhile.
//
//   QT_QPA_PLATFORM=offscreen build/TextWindowBench --reading [sample base folder]
//
// Hostile texts: the longest time the window's thread goes without handling its events, from the
// command until the whole text is laid out, and the peak memory, for entries of a few kilobytes
// that hold a paragraph of 50 MB, a word of 20 MB, a row of 10,000 cells, and 40 rows of 256 cells
// whose edges shift from row to row (each case, or all four, in one run). For comparison, "grid"
// is a sound table of as many cells as the shifting rows keep (40 rows of 64), and "code" the
// 17 MB code. NORIK_BENCH_PAUSES=1 prints every run of the window's thread of 30 ms or more.
//
//   QT_QPA_PLATFORM=offscreen build/TextWindowBench --hostile [paragraph|word|row|shifting|grid|code]
//
// Leaving a long text (with --leave): the text whole and laid out in a maximised window of a
// window area, the longest time the window's events wait over the 3 s after another window is
// brought to the front (as Ctrl+Tab does), and after its first link is followed (the document it
// names opens in a new maximised window; when the base lacks it, the first document of the table
// opens instead, as a link would). Goal: below 0.1 s.
//
//   QT_QPA_PLATFORM=offscreen build/TextWindowBench --leave [sample base folder]
#include <malloc.h>
#include <private/qtextdocumentlayout_p.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../../tests/support/BuilderTestSupport.h"
#include "../RichTextCorpus.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"
#include "WindowBench.h"
#include "builder/BaseBuilder.h"
#include "frame/CommandIds.h"
#include "platform/UserPort.h"
#include "richtext/DocumentOutline.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1View.h"
#include "views/TextPage.h"
#include "views/TextPrinting.h"
#include "views/TextZoom.h"

namespace {

using WindowBench::BenchPort;
using WindowBench::Clock;
using WindowBench::RunUntil;
using WindowBench::Seconds;
namespace fs = std::filesystem;

double ResidentMegabytes() {
    long pages = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    if (!(statm >> pages >> resident)) resident = 0;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void Settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    malloc_trim(0);
}

std::string EntryBytes(const std::string& name) {
    Norik::SUn7zFile entry;
    std::string bytes;
    if (Norik::Failed(entry.Open(name, Norik::kModeRead, true))) return bytes;
    char block[65536];
    for (int n; (n = entry.Read(block, sizeof block)) > 0;) bytes.append(block, static_cast<std::size_t>(n));
    return bytes;
}

double RunPeer(const std::string& command) {
    const auto start = Clock::now();
    const int rc = std::system(command.c_str());
    const double seconds = Seconds(start);
    return rc == 0 ? seconds : -1;
}

struct OpenTimes {
    double firstPaint = 0;
    double whole = 0;
    double layout = 0;
    double jumpToEnd = 0;
    // The longest the window's thread went without handling its events while the whole text was
    // read and laid out behind the first part.
    double longestPause = 0;
    bool showedFirstPart = false;
};

// Opens the text as the viewer does and paints its first screen; then waits for the whole text.
// jump: after the whole text is in, jump to the end and paint (the layout down to there is forced
// on the spot); otherwise lay the whole document out.
OpenTimes OpenOnce(const std::string& fileName, const Norik::TextWindowContext& context, bool jump) {
    OpenTimes t;
    const auto start = Clock::now();
    std::unique_ptr<Norik::Cvelda1View> view = Norik::OpenTextView(fileName, context);
    if (!view) return t;
    view->resize(1200, 900);
    view->show();
    QPixmap first = view->viewport()->grab();
    t.firstPaint = Seconds(start);
    Norik::Cvelda1Doc* doc = view->GetDocument();
    t.showedFirstPart = !doc->isWhole();
    if (!doc->isWhole()) t.longestPause = RunUntil([&] { return doc->isWhole(); });
    QCoreApplication::processEvents();
    t.whole = Seconds(start);
    if (jump) {
        const auto jumpStart = Clock::now();
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
        view->moveCursor(QTextCursor::End);
        view->ensureCursorVisible();
        QPixmap last = view->viewport()->grab();
        t.jumpToEnd = Seconds(jumpStart);
    } else {
        view->document()->documentLayout()->documentSize();
        t.layout = Seconds(start);
    }
    return t;
}

// The preview of a whole text, from the command to its first page painted and to its last page
// laid out, and then the printing of every page to a PDF in work.
void MeasurePreview(const std::string& fileName, const Norik::TextWindowContext& context, const fs::path& work) {
    std::unique_ptr<Norik::Cvelda1View> view = Norik::OpenTextView(fileName, context);
    if (!view) return;
    view->resize(1200, 900);
    view->show();
    view->GetDocument()->EnsureWhole();
    view->document()->documentLayout()->documentSize();
    Settle();

    double firstPage = 0, allLaidOut = 0, longestPause = 0;
    int pagesAtFirst = 0, pages = 0;
    auto start = Clock::now();
    auto last = start;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* preview = qobject_cast<Norik::TextPrintPreview*>(QApplication::activeModalWidget());
        if (!preview) return;
        if (firstPage == 0) {
            QPixmap shown = preview->grab();
            firstPage = Seconds(start);
            pagesAtFirst = preview->shownPages();
            last = Clock::now();
            return;
        }
        longestPause = std::max(longestPause, Seconds(last));
        last = Clock::now();
        if (preview->layoutComplete()) {
            allLaidOut = Seconds(start);
            pages = preview->shownPages();
            preview->reject();
        }
    });
    poll.start(1);
    view->OnFilePrintPreview();
    poll.stop();
    std::printf("  preview first page     %7.3f s  (%d pages shown at once)\n", firstPage, pagesAtFirst);
    std::printf("  preview longest pause  %7.3f s  (while it lays the rest out)\n", longestPause);
    std::printf("  preview all laid out   %7.3f s  (%d pages)\n", allLaidOut, pages);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString((work / "print.pdf").string()));
    start = Clock::now();
    view->PrintTo(&printer);
    std::printf("  print every page to PDF %6.3f s  (%.1f MB)\n", Seconds(start),
                static_cast<double>(fs::file_size(work / "print.pdf")) / 1048576.0);
    fs::remove(work / "print.pdf");
    (void)std::fflush(stdout);
}

void Measure(const std::string& label, const std::string& baseFolder, const std::string& fileName, const fs::path& work,
             bool haveSoffice, bool previewOnly) {
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = baseFolder});
    ShowData::ResetTablesForTests();
    BenchPort port;
    ShowData::CShowClass::Init(port);
    Norik::TextWindowContext context;
    context.userPort = &port;

    const std::string rtf = EntryBytes(fileName);
    const std::string rtfPath = (work / (fileName + ".rtf")).string();
    std::ofstream(rtfPath, std::ios::binary) << rtf;
    std::printf("%s: entry %s, %.1f MB of RTF\n", label.c_str(), fileName.c_str(), rtf.size() / 1048576.0);
    MeasurePreview(fileName, context, work);
    if (previewOnly) return;

    // A first open warms the file cache and the fonts; the best of three counts.
    OpenOnce(fileName, context, false);
    Settle();
    OpenTimes best;
    for (int i = 0; i < 3; ++i) {
        const OpenTimes t = OpenOnce(fileName, context, false);
        if (i == 0 || t.firstPaint < best.firstPaint) best.firstPaint = t.firstPaint;
        if (i == 0 || t.whole < best.whole) best.whole = t.whole;
        if (i == 0 || t.layout < best.layout) best.layout = t.layout;
        best.longestPause = std::max(best.longestPause, t.longestPause);
        best.showedFirstPart = t.showedFirstPart;
        Settle();
    }
    const OpenTimes jump = OpenOnce(fileName, context, true);
    Settle();
    std::printf("  norik first paint      %7.3f s%s\n", best.firstPaint,
                best.showedFirstPart ? "  (first part of the text)" : "");
    std::printf("  norik whole text in    %7.3f s\n", best.whole);
    std::printf("  norik whole layout     %7.3f s\n", best.layout);
    std::printf("  longest pause meanwhile %6.3f s  (the window's events wait no longer than this)\n",
                best.longestPause);
    std::printf("  jump to the end, paint %7.3f s  (right after the whole text is in)\n", jump.jumpToEnd);

    const double unrtf = RunPeer("unrtf --html '" + rtfPath + "' > /dev/null 2>&1");
    if (unrtf > 0) {
        std::printf("  unrtf --html           %7.3f s  first paint / unrtf %.3f, whole layout / unrtf %.3f\n", unrtf,
                    best.firstPaint / unrtf, best.layout / unrtf);
    } else {
        std::printf("  unrtf --html failed\n");
    }
    if (haveSoffice) {
        const std::string out = (work / "soffice").string();
        const double soffice =
            RunPeer("soffice --headless --convert-to pdf --outdir '" + out + "' '" + rtfPath + "' > /dev/null 2>&1");
        if (soffice > 0) {
            std::printf("  soffice --convert-to pdf %5.3f s  first paint / soffice %.3f, whole layout / soffice %.3f\n",
                        soffice, best.firstPaint / soffice, best.layout / soffice);
        } else {
            std::printf("  soffice failed\n");
        }
    }

    Settle();
    const double before = ResidentMegabytes();
    std::printf("  memory (resident): before %.0f MB", before);
    for (int cycle = 1; cycle <= 10; ++cycle) {
        std::unique_ptr<Norik::Cvelda1View> view = Norik::OpenTextView(fileName, context);
        view->resize(1200, 900);
        view->show();
        view->GetDocument()->EnsureWhole();
        view->document()->documentLayout()->documentSize();
        const double open = ResidentMegabytes();
        view.reset();
        Settle();
        const double closed = ResidentMegabytes();
        if (cycle == 1 || cycle == 10) std::printf(", cycle %d open %.0f MB closed %.0f MB", cycle, open, closed);
    }
    std::printf("\n");
    (void)std::fflush(stdout);
}

void MeasureReading(const std::string& label, const std::string& baseFolder, const std::string& fileName) {
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = baseFolder});
    ShowData::ResetTablesForTests();
    BenchPort port;
    ShowData::CShowClass::Init(port);
    Norik::TextWindowContext context;
    context.userPort = &port;
    const std::string rtf = EntryBytes(fileName);
    std::printf("%s: entry %s, %.1f MB of RTF\n", label.c_str(), fileName.c_str(), rtf.size() / 1048576.0);
    auto start = Clock::now();
    const Norik::DocumentOutline alone = Norik::FindOutline(rtf);
    std::printf("  outline over the RTF alone %.3f s, %zu entries\n", Seconds(start), alone.size());

    start = Clock::now();
    std::unique_ptr<Norik::Cvelda1View> view = Norik::OpenTextView(fileName, context);
    if (!view) return;
    view->resize(1200, 900);
    view->show();
    Norik::Cvelda1Doc* doc = view->GetDocument();
    double outlineAt = doc->outline().empty() ? -1 : Seconds(start);
    double shownAt = doc->isWhole() ? Seconds(start) : -1;
    QObject::connect(doc, &Norik::Cvelda1Doc::outlineChanged, [&] { outlineAt = Seconds(start); });
    QObject::connect(doc, &Norik::Cvelda1Doc::textDocumentReplaced, [&] { shownAt = Seconds(start); });
    const double pause = RunUntil([&] { return outlineAt >= 0 && shownAt >= 0; });
    std::printf(
        "  contents ready %.3f s, whole text shown %.3f s: contents %.3f s after the whole text "
        "(negative: before); longest pause %.3f s\n",
        outlineAt, shownAt, outlineAt - shownAt, pause);
    if (doc->outline().empty()) return;

    const Norik::OutlineEntry* last = nullptr;
    for (const Norik::OutlineEntry& entry : doc->outline())
        if (entry.kind == Norik::OutlineKind::Article) last = &entry;
    if (last) {
        start = Clock::now();
        view->GoToArticle(QString::fromStdString(last->number));
        QPixmap shot = view->viewport()->grab();
        std::printf("  go to article %s, first paint %.3f s\n", last->number.c_str(), Seconds(start));
    }
    const Norik::OutlineEntry& middle = doc->outline()[doc->outline().size() / 2];
    view->JumpTo(middle.position);
    QCoreApplication::processEvents();
    for (bool larger : {true, false}) {
        start = Clock::now();
        view->ExecuteCommand(larger ? Norik::Command::kZoomIn : Norik::Command::kZoomOut);
        const double command = Seconds(start);
        const double zoomPause = std::max(command, RunUntil([&] { return !view->zoom().isSettling(); }));
        const double settled = Seconds(start);
        QPixmap shot = view->viewport()->grab();
        const double painted = Seconds(start);
        const int top = view->TopPosition();
        const double restPause = RunUntil([&] { return Norik::PreparedPercent(*view->document()) >= 100; });
        std::printf(
            "  zoom %s at %.0f%% of the text: the command %.3f s, place shown again %.3f s, paint %.3f s, "
            "longest pause %.3f s; rest laid out %.3f s, longest pause meanwhile %.3f s%s\n",
            larger ? "in " : "out", 100.0 * middle.position / view->document()->characterCount(), command, settled,
            painted, zoomPause, Seconds(start), restPause,
            top >= middle.position - 200 && top <= middle.position + 200 ? "" : "  (PLACE LOST)");
    }
    (void)std::fflush(stdout);
}

// The hostile texts, by name.
std::string HostileRtf(const std::string& name) {
    // For comparison: the 17 MB code, a sound document.
    if (name == "code") return RichTextCorpus::MakeCode(std::size_t{17} * 1024 * 1024, false);
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\\pard ";
    if (name == "paragraph") {
        const std::string words = "the quick brown fox jumps over the lazy dog and runs into the wood again ";
        while (rtf.size() < std::size_t{50} * 1024 * 1024) rtf += words;
    } else if (name == "word") {
        rtf.append(std::size_t{20} * 1024 * 1024, 'w');
    } else if (name == "row") {
        rtf += "\\trowd";
        for (int i = 1; i <= 10000; ++i) rtf += "\\cellx" + std::to_string(i * 100);
        for (int i = 1; i <= 10000; ++i) rtf += "\\intbl " + std::to_string(i) + "\\cell";
        rtf += "\\row";
    } else if (name == "grid") {
        // For comparison: 40 rows of 64 cells whose edges stay put.
        for (int row = 0; row < 40; ++row) {
            rtf += "\\trowd";
            for (int i = 1; i <= 64; ++i) rtf += "\\cellx" + std::to_string(i * 100);
            for (int i = 1; i <= 64; ++i) rtf += "\\intbl " + std::to_string(i) + "\\cell";
            rtf += "\\row";
        }
    } else if (name == "shifting") {
        for (int row = 0; row < 40; ++row) {
            rtf += "\\trowd";
            for (int i = 1; i <= 256; ++i) rtf += "\\cellx" + std::to_string(i * 100 + row * 37);
            for (int i = 1; i <= 256; ++i) rtf += "\\intbl " + std::to_string(i) + "\\cell";
            rtf += "\\row";
        }
    }
    return rtf + "\\par}";
}

double PeakMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

// The time the calling thread has run.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// The peak counts from here (the kernel forgets the old peak).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Opens the text as the viewer does, with a timer of 1 ms running all along, and runs the window's
// events until the whole text is in and laid out to the end (or limit passes).
void MeasureHostile(const std::string& name, const fs::path& work) {
    const std::string rtf = HostileRtf(name);
    NorikTest::MemorySource source = NorikTest::SmallSource();
    source.texts["000001.rtf"] = rtf;
    const std::string base = (work / ("hostile-" + name)).string();
    Norik::BuildReport report;
    std::vector<std::string> problems;
    if (!Norik::BuildBase(source, base, Norik::BuildOptions{}, report, problems)) {
        std::printf("building the base of %s failed: %s\n", name.c_str(),
                    problems.empty() ? "" : problems.front().c_str());
        return;
    }
    const auto entrySize = fs::file_size(fs::path(base) / "Norik.sdb");
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = base});
    ShowData::ResetTablesForTests();
    BenchPort port;
    ShowData::CShowClass::Init(port);
    Norik::TextWindowContext context;
    context.userPort = &port;
    Settle();
    ResetPeak();
    const double before = ResidentMegabytes();

    constexpr double kLimit = 300;
    const auto start = Clock::now();
    auto last = start;
    double longest = 0;
    double longestAt = 0;
    double longestBusy = 0;  // of it, the time the window's thread was running (not waiting for a core)
    double lastBusy = ThreadSeconds();
    // The longest the window's thread ran between two ticks: the pause on a machine with a core to spare.
    double busiest = 0;
    double busiestAt = 0;
    double paused = 0;
    int pauses = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double gap = Seconds(last);
        const double busy = ThreadSeconds();
        if (gap > longest) {
            longest = gap;
            longestAt = Seconds(start) - gap;
            longestBusy = busy - lastBusy;
        }
        if (busy - lastBusy > busiest) {
            busiest = busy - lastBusy;
            busiestAt = Seconds(start) - gap;
        }
        if (std::getenv("NORIK_BENCH_PAUSES") && busy - lastBusy >= 0.03)
            std::printf("    pause at %.3f s: %.3f s, the thread ran %.3f s\n", Seconds(start) - gap, gap,
                        busy - lastBusy);
        lastBusy = busy;
        if (gap >= 0.1) {
            ++pauses;
            paused += gap;
        }
        last = Clock::now();
    });
    tick.start(1);
    std::unique_ptr<Norik::Cvelda1View> view = Norik::OpenTextView("000001", context);
    if (!view) {
        std::printf("%s: the text did not open\n", name.c_str());
        return;
    }
    view->resize(1200, 900);
    view->show();
    QPixmap first = view->viewport()->grab();
    const double firstPaint = Seconds(start);
    Norik::Cvelda1Doc* doc = view->GetDocument();
    auto laidOut = [&] {
        const auto* layout = dynamic_cast<const QTextDocumentLayout*>(view->document()->documentLayout());
        return doc->isWhole() && (!layout || layout->layoutStatus() >= 100);  // per cent
    };
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (laidOut() || Seconds(start) > kLimit) loop.quit();
    });
    poll.start(20);
    loop.exec();
    const bool done = laidOut();
    const double whole = Seconds(start);
    tick.stop();
    const auto jumpStart = Clock::now();
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    view->moveCursor(QTextCursor::End);
    view->ensureCursorVisible();
    QPixmap end = view->viewport()->grab();
    const double jump = Seconds(jumpStart);
    const double peak = PeakMegabytes();
    std::printf("%s: %.1f MB of RTF, base file %.1f KB; %d blocks, %d characters\n", name.c_str(),
                rtf.size() / 1048576.0, entrySize / 1024.0, view->document()->blockCount(),
                view->document()->characterCount());
    std::printf("  first paint %.3f s, whole text laid out %.3f s%s\n", firstPaint, whole,
                done ? "" : "  (NOT finished within the limit)");
    std::printf(
        "  longest pause %.3f s (from %.3f s on; the thread ran %.3f s of it); pauses of 0.1 s or more: %d, "
        "%.3f s in all\n",
        longest, longestAt, longestBusy, pauses, paused);
    std::printf("  longest run of the window's thread between two ticks %.3f s (from %.3f s on)\n", busiest, busiestAt);
    std::printf("  jump to the end, paint %.3f s (after the layout)\n", jump);
    std::printf("  memory: before %.0f MB, peak %.0f MB (resident)\n", before, peak);
    (void)std::fflush(stdout);
}

// Runs events for seconds; the longest they waited.
double LongestPauseFor(double seconds) {
    const auto start = Clock::now();
    return RunUntil([&] { return Seconds(start) >= seconds; });
}

void MeasureLeaving(const std::string& label, const std::string& baseFolder, const std::string& fileName) {
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = baseFolder});
    ShowData::ResetTablesForTests();
    BenchPort port;
    ShowData::CShowClass::Init(port);
    Norik::TextWindowContext context;
    context.userPort = &port;
    std::printf("%s: entry %s\n", label.c_str(), fileName.c_str());
    QMdiArea area;
    area.resize(1200, 900);
    area.show();
    auto* other = area.addSubWindow(new QWidget);
    other->showMaximized();
    std::unique_ptr<Norik::Cvelda1View> opened = Norik::OpenTextView(fileName, context);
    if (!opened) return;
    Norik::Cvelda1View* view = opened.get();
    QMdiSubWindow* text = area.addSubWindow(opened.release());
    text->showMaximized();
    area.setActiveSubWindow(text);
    RunUntil([&] { return view->GetDocument()->isWhole() && Norik::PreparedPercent(*view->document()) >= 100; });
    LongestPauseFor(1);
    view->JumpTo(view->document()->characterCount() / 2);
    QCoreApplication::processEvents();

    auto start = Clock::now();
    area.setActiveSubWindow(other);
    double command = Seconds(start);
    std::printf("  another window to the front: the command %.3f s, longest pause over 3 s %.3f s\n", command,
                std::max(command, LongestPauseFor(3)));

    area.setActiveSubWindow(text);
    LongestPauseFor(1);
    // The first link of the text; when its document is not in the base, the first document of the table.
    std::string target;
    int linkAt = -1;
    QObject::connect(view, &Norik::Cvelda1View::openDocumentRequested,
                     [&](const QString& name, int) { target = name.toStdString(); });
    for (QTextBlock block = view->document()->begin(); block.isValid() && linkAt < 0; block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (!it.fragment().charFormat().isAnchor()) continue;
            linkAt = it.fragment().position();
            break;
        }
    }
    // Links to numbers the base lacks say so (one message).
    if (linkAt >= 0) view->FollowLinkAt(linkAt);
    if (target.empty()) target = ShowData::DocFileName(ShowData::GetDocTable().front());
    start = Clock::now();
    std::unique_ptr<Norik::Cvelda1View> next = Norik::OpenTextView(target, context);
    if (!next) return;
    QMdiSubWindow* nextWindow = area.addSubWindow(next.release());
    nextWindow->showMaximized();
    area.setActiveSubWindow(nextWindow);
    command = Seconds(start);
    std::printf("  a link followed (%s): the command %.3f s, longest pause over 3 s %.3f s\n", target.c_str(), command,
                LongestPauseFor(3));
    (void)std::fflush(stdout);
}

// The largest entry of the base: the document whose header announces the longest text.
std::string LargestDocument(const std::string& baseFolder) {
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = baseFolder});
    ShowData::ResetTablesForTests();
    BenchPort port;
    ShowData::CShowClass::Init(port);
    std::string best;
    std::uint32_t bestLength = 0;
    for (const ShowData::DocItem& row : ShowData::GetDocTable()) {
        Norik::SUn7zFile entry;
        const std::string name = ShowData::DocFileName(row);
        if (Norik::Failed(entry.Open(name, Norik::kModeRead, true))) continue;
        if (entry.length() > bestLength) {
            bestLength = entry.length();
            best = name;
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const bool previewOnly = argc > 1 && std::string(argv[1]) == "--preview";
    if (previewOnly) {
        --argc;
        ++argv;
    }
    const fs::path work = fs::temp_directory_path() / ("norik-text-window-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    if (argc > 1 && std::string(argv[1]) == "--hostile") {
        for (const char* name : {"paragraph", "word", "row", "shifting", "grid", "code"}) {
            const bool comparison = name == std::string("grid") || name == std::string("code");
            if (argc > 2 ? name != std::string(argv[2]) : comparison) continue;
            MeasureHostile(name, work);
            Settle();
        }
        fs::remove_all(work);
        return 0;
    }
    const bool haveSoffice = std::system("command -v soffice > /dev/null 2>&1") == 0;
    const bool reading = argc > 1 && std::string(argv[1]) == "--reading";
    const bool leaving = argc > 1 && std::string(argv[1]) == "--leave";
    if (reading || leaving) {
        --argc;
        ++argv;
    }

    // The code, as the only text of a small base.
    NorikTest::MemorySource source = NorikTest::SmallSource();
    source.texts["000001.rtf"] = RichTextCorpus::MakeCode(std::size_t{17} * 1024 * 1024, false);
    const std::string codeBase = (work / "code-base").string();
    Norik::BuildReport report;
    std::vector<std::string> problems;
    if (!Norik::BuildBase(source, codeBase, Norik::BuildOptions{}, report, problems)) {
        std::printf("building the code's base failed: %s\n", problems.empty() ? "" : problems.front().c_str());
        return 1;
    }
    if (leaving) {
        MeasureLeaving("17 MB code", codeBase, "000001");
    } else if (reading) {
        MeasureReading("17 MB code", codeBase, "000001");
    } else {
        Measure("17 MB code", codeBase, "000001", work, haveSoffice, previewOnly);
    }

    if (argc > 1) {
        const std::string largest = LargestDocument(argv[1]);
        if (largest.empty()) {
            std::printf("no document found in %s\n", argv[1]);
        } else {
            if (leaving) {
                MeasureLeaving("largest document of the sample base", argv[1], largest);
            } else if (reading) {
                MeasureReading("largest document of the sample base", argv[1], largest);
            } else {
                Measure("largest document of the sample base", argv[1], largest, work, haveSoffice, previewOnly);
            }
        }
    }
    fs::remove_all(work);
    return 0;
}
