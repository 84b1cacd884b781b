// Quick search in the viewer: the time from the whole text in its window to every form of the
// searched words marked, for the 17 MB code of the rich-text benchmarks (and the largest document
// of a sample base); and the longest the window's thread goes without handling its events while
// the viewer, started on a sample base without its own index, builds one in the background, with
// the build's time.
//
//   QT_QPA_PLATFORM=offscreen build/QuickSearchBench [sample base folder]
//
// The sample base is made by `norik-tool sample DIR --documents 16000 --large`; the index is built
// into a temporary cache folder, whatever the base carries.
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "../../tests/support/BuilderTestSupport.h"
#include "../RichTextCorpus.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"
#include "WindowBench.h"
#include "app/FullTextService.h"
#include "app/QuickSearchShell.h"
#include "app/Velda1App.h"
#include "builder/BaseBuilder.h"
#include "platform/Profile.h"
#include "platform/UserPort.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1View.h"
#include "views/TextHighlights.h"

namespace {

using WindowBench::BenchPort;
using WindowBench::Clock;
using WindowBench::RunUntil;
using WindowBench::Seconds;
namespace fs = std::filesystem;

void MeasureMarks(const std::string& label, const std::string& baseFolder, const std::string& fileName) {
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = baseFolder});
    ShowData::ResetTablesForTests();
    BenchPort port;
    ShowData::CShowClass::Init(port);
    Norik::TextWindowContext context;
    context.userPort = &port;
    for (int run = 0; run < 3; ++run) {
        std::unique_ptr<Norik::Cvelda1View> view = Norik::OpenTextView(fileName, context);
        if (!view) return;
        view->resize(1200, 900);
        view->show();
        RunUntil([&] { return view->GetDocument()->isWhole(); });
        const auto start = Clock::now();
        view->HighlightWords(QStringLiteral("федеральными законами статьи"));
        const double pause = RunUntil([&] { return view->highlights()->isComplete(); });
        std::printf("%s %s: %zu words marked in %.3f s after the whole text; longest pause %.3f s\n", label.c_str(),
                    fileName.c_str(), view->highlights()->count(), Seconds(start), pause);
    }
}

std::string LargestDocument(const std::string& baseFolder) {
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = baseFolder});
    ShowData::ResetTablesForTests();
    BenchPort port;
    ShowData::CShowClass::Init(port);
    std::string largest;
    std::uint32_t largestLength = 0;
    for (const ShowData::DocItem& row : ShowData::GetDocTable()) {
        Norik::SUn7zFile entry;
        const std::string name = ShowData::DocFileName(row);
        if (Norik::Failed(entry.Open(name, Norik::kModeRead, true))) continue;
        if (entry.length() > largestLength) {
            largestLength = entry.length();
            largest = name;
        }
    }
    return largest;
}

// The whole viewer started on a copy of the base without its own index, as a user starts it:
// its index is built into the cache while the window shows the progress in the status bar and
// the search line.
void MeasureBuild(const std::string& baseFolder, const fs::path& work) {
    const fs::path copy = work / "base";
    fs::create_directories(copy);
    for (const fs::directory_entry& entry : fs::directory_iterator(baseFolder))
        if (entry.is_regular_file()) fs::copy_file(entry.path(), copy / entry.path().filename());
    setenv("XDG_CACHE_HOME", (work / "cache").c_str(), 1);
    ShowData::ResetTablesForTests();
    Norik::MemoryProfile profile;
    profile.WriteProfileInt(Norik::kSectionDefault, Norik::kValueInstall, 1);
    Norik::Cvelda1App viewer(profile);
    const auto start = Clock::now();
    if (!viewer.InitInstance({.baseFolder = copy.string()})) {
        std::printf("the viewer did not start on %s\n", copy.c_str());
        return;
    }
    const Norik::FullTextService& service = viewer.quickSearch()->service();
    // The build starts once the window is up.
    RunUntil([&] { return service.state() != Norik::FullTextService::State::Idle; });
    const double pause = RunUntil([&] { return service.state() != Norik::FullTextService::State::Building; });
    std::printf("viewer's background build of %zu documents: %.1f s, %s; longest pause of the window's thread %.3f s\n",
                ShowData::GetDocTable().size(), Seconds(start),
                service.state() == Norik::FullTextService::State::Ready ? "ready" : "failed", pause);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const fs::path work = fs::temp_directory_path() / ("norik-quick-search-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    NorikTest::MemorySource source = NorikTest::SmallSource();
    source.texts["000001.rtf"] = RichTextCorpus::MakeCode(std::size_t{17} * 1024 * 1024, false);
    const std::string codeBase = (work / "code-base").string();
    Norik::BuildReport report;
    std::vector<std::string> problems;
    if (!Norik::BuildBase(source, codeBase, Norik::BuildOptions{}, report, problems)) {
        std::printf("building the code's base failed: %s\n", problems.empty() ? "" : problems.front().c_str());
        return 1;
    }
    MeasureMarks("17 MB code", codeBase, "000001");
    if (argc > 1) {
        const std::string largest = LargestDocument(argv[1]);
        if (!largest.empty()) MeasureMarks("largest document of the sample base", argv[1], largest);
        MeasureBuild(argv[1], work);
    }
    fs::remove_all(work);
    return 0;
}
