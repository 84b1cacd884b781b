#include "tools/FullTextCommands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>

#include "Helpers/Folders.h"
#include "builder/BaseBuilder.h"
#include "builder/BaseVerifier.h"
#include "diagnostics/ErrorLog.h"
#include "fulltext/BaseDocuments.h"
#include "fulltext/FullTextIndex.h"
#include "fulltext/FullTextQuery.h"
#include "sample/SampleBase.h"
#include "sample/Vocabulary.h"
#include "search/SearchEvaluation.h"
#include "showdata/DayCode.h"
#include "tools/ProgressLine.h"
#include "tools/ToolArguments.h"
#include "tools/ToolCommon.h"

namespace Norik {

namespace {

// Problems of a failed build, or warnings, listed one a line before the rest are counted.
constexpr std::size_t kListedProblems = 20;

// The full-text index of the configured base: its own "fulltext/" when that is current, else the
// one the viewer keeps in the cache. 0 with the folder, or the exit status after the line on err.
int CurrentFullTextIndex(std::ostream& err, std::filesystem::path& folder) {
    const std::filesystem::path base = GetIndexFolder();
    const FullText::IndexChoice index = FullText::ChooseIndex(base, FullText::IdentityOfLoadedBase());
    if (index.own.state == FullText::IndexState::Damaged) {
        ErrorLog().WriteEntry("the full-text index is damaged: " + index.own.why);
        err << "norik-tool: the base is damaged: " << index.own.why << " (norik-tool fulltext rebuilds it)\n";
        return kExitDamaged;
    }
    if (!index.folder.empty()) {
        folder = index.folder;
        return 0;
    }
    err << "norik-tool: the base has no current full-text index"
        << (index.own.state == FullText::IndexState::Stale ? " (" + index.own.why + ")" : std::string())
        << "; norik-tool fulltext " << base.string() << " builds it\n";
    return kExitFailure;
}

// The list row texts of the given documents, by number: only their rows are read.
std::map<std::int16_t, std::string> RowTexts(const std::vector<std::int16_t>& numbers) {
    std::vector<std::pair<std::int16_t, std::string>> found;
    ShowData::CShowDoc::RowTexts(numbers, found);
    std::map<std::int16_t, std::string> texts;
    for (const auto& [number, text] : found) texts.emplace(number, Utf8(text));
    return texts;
}

int QuickSearch(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(0, "only options");
    for (const char* other : {"--section", "--number", "--title", "--text", "--within", "--any"})
        if (args.Has(other)) throw UsageError{std::string("--quick takes no ") + other};
    const std::string query = *args.Value("--quick");
    std::size_t limit = 20;
    if (const auto v = args.Value("--limit")) limit = static_cast<std::size_t>(ParseInteger(*v, 1, 65536, "--limit"));
    // The documents of the type, status and dates asked for, as the search by attributes finds them.
    ShowData::SearchRequest filter;
    ReadAttributeFilters(args, filter);
    // No row is read but those printed.
    if (const int failed = LoadDocuments(err, ShowData::CShowDoc::BindIndexes)) return failed;
    std::optional<std::vector<std::int16_t>> among;
    if (filter != ShowData::SearchRequest{}) {
        try {
            among = ShowData::EvaluateSearchRequest(filter);
        } catch (const ShowData::SearchIndexDamaged& damaged) {
            return DamagedAnswer(err, {damaged.damage()});
        }
    }
    std::filesystem::path folder;
    if (const int failed = CurrentFullTextIndex(err, folder)) return failed;
    const FullText::Searcher searcher(folder);
    const FullText::SearchResult result =
        searcher.Search(query, limit, args.Has("--passages") ? 3 : 0, among ? &*among : nullptr);
    if (!result.error.empty() && !searcher.ok()) {
        ErrorLog().WriteEntry(folder.string() + ": " + result.error);
        err << "norik-tool: the base is damaged: " << folder.string() << ": " << result.error << "\n";
        return kExitDamaged;
    }
    if (!result.error.empty()) {
        err << "norik-tool: " << result.error << "\n";
        return kExitUsage;
    }
    for (const std::string& word : result.cutWildcards)
        err << "norik-tool: " << word << " begins more than " << FullText::Searcher::kMaxWildcardWords
            << " words; the most frequent of them are searched\n";
    if (result.wordsLeftOut > 0)
        err << "norik-tool: the query is longer than " << FullText::kMaxQueryWords << " words or "
            << FullText::kMaxQueryBytes << " bytes: its last " << result.wordsLeftOut << " words are left out\n";
    if (result.hits.empty()) {
        err << "По Вашему запросу ничего не найдено!\n";
        if (!result.suggestion.empty()) err << "Возможно, вы имели в виду: " << result.suggestion << "\n";
        return 1;
    }
    std::vector<std::int16_t> numbers;
    for (const FullText::Hit& hit : result.hits) numbers.push_back(hit.number);
    const std::map<std::int16_t, std::string> texts = RowTexts(numbers);
    for (const FullText::Hit& hit : result.hits) {
        char score[32];
        std::snprintf(score, sizeof score, "%.3f", hit.score);
        const auto text = texts.find(hit.number);
        out << hit.number << "\t" << score << "\t" << (text == texts.end() ? std::string() : text->second) << "\n";
        for (const std::string& passage : hit.passages) out << "    " << passage << "\n";
    }
    err << "Найдено документов: " << result.matches;
    if (result.hits.size() < result.matches) err << ", показаны первые " << result.hits.size();
    err << "\n";
    return Answered(err, DamageOf({ShowData::ModelTable::Descript, ShowData::ModelTable::Items}));
}

int CitedBy(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(1, "NUMBER");
    if (const int failed = LoadDocuments(err)) return failed;
    std::int16_t number = 0;
    if (const int failed = KnownDocument(args.positional()[0], err, number)) return failed;
    std::filesystem::path folder;
    if (const int failed = CurrentFullTextIndex(err, folder)) return failed;
    const FullText::Searcher searcher(folder);
    const std::vector<std::int16_t> citing = searcher.CitedBy(number);
    if (!searcher.ok()) {
        err << "norik-tool: the base is damaged: " << folder.string() << ": " << searcher.error() << "\n";
        return kExitDamaged;
    }
    const std::map<std::int16_t, std::string> texts = RowTexts(citing);
    for (const std::int16_t n : citing) {
        const auto text = texts.find(n);
        out << n << "\t" << (text == texts.end() ? std::string() : text->second) << "\n";
    }
    return Answered(err, DamageOf({ShowData::ModelTable::Descript, ShowData::ModelTable::Items}));
}

int FullTextBuild(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(1, "DIR");
    FolderSettings settings;
    settings.baseOverride = args.positional()[0];
    ConfigureFolders(settings);
    if (const int failed = LoadDocuments(err)) return failed;
    const std::filesystem::path folder = FullText::BaseIndexFolder(GetIndexFolder());
    // With --if-stale a current index is left as it is: a build step can keep a base's index
    // up to date without making it again each time.
    if (args.Has("--if-stale") &&
        FullText::CheckIndex(folder, FullText::IdentityOfLoadedBase()).state == FullText::IndexState::Current) {
        out << folder.string() << " is current\n";
        return 0;
    }
    const std::vector<FullText::DocumentFields> documents = FullText::DocumentsOfLoadedBase();
    // What is wrong with each text that cannot be read; the texts are read on several threads.
    std::map<std::int16_t, std::string> unreadable;
    std::mutex unreadableMutex;
    const std::string container = GetDataFolder() + "Norik.sdb";
    const auto textOf = [&](std::int16_t number) {
        std::string why;
        std::optional<FullText::DocumentText> text = FullText::ContainerDocumentText(container, number, why);
        if (!text) {
            const std::lock_guard lock(unreadableMutex);
            unreadable.emplace(number, std::move(why));
        }
        return text;
    };
    ProgressLine progress(err, IsTerminalStream(err), "fulltext");
    const FullText::BuildResult built = FullText::BuildIndex(
        folder, documents, textOf, FullText::IdentityOfLoadedBase(), [&](std::size_t done, std::size_t total) {
            progress.Show(done, total);
            return true;
        });
    progress.Clear();
    if (!built.ok) {
        err << "norik-tool: " << built.error << "\n";
        return kExitFailure;
    }
    out << "indexed " << built.documents << " documents (" << built.textBytes << " bytes of plain text) into "
        << folder.string() << "\n";
    if (!unreadable.empty()) {
        err << "norik-tool: the base is damaged: " << unreadable.size() << " texts of " << GetDataFolder()
            << "Norik.sdb cannot be read (the first, of document " << unreadable.begin()->first << ": "
            << unreadable.begin()->second << "); they are indexed by their attributes alone\n";
        return kExitDamaged;
    }
    return Answered(err, DamageOf({ShowData::ModelTable::Descript, ShowData::ModelTable::Items}));
}

// Lines of one kind, the first few listed one a line and the rest counted.
void PrintLimited(const std::vector<std::string>& lines, const std::string& prefix, std::ostream& stream) {
    const std::size_t listed = std::min(lines.size(), kListedProblems);
    for (std::size_t i = 0; i < listed; ++i) stream << prefix << lines[i] << "\n";
    if (lines.size() > listed) stream << prefix << "… and " << lines.size() - listed << " more\n";
}

// The base's own full-text index, when it has one, must be of this base: stamped with its date and
// holding exactly its documents. 0, or the exit status after the line on err.
int VerifyFullTextIndex(std::ostream& err) {
    const std::filesystem::path folder = FullText::BaseIndexFolder(GetIndexFolder());
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(folder, error))) return 0;
    if (const int failed = LoadDocuments(err)) return failed;
    std::string why;
    if (const FullText::IndexCheck check = FullText::CheckIndex(folder, FullText::IdentityOfLoadedBase());
        check.state != FullText::IndexState::Current) {
        why = check.why;
    } else {
        std::vector<std::int16_t> numbers;
        for (const FullText::DocumentFields& document : FullText::DocumentsOfLoadedBase())
            numbers.push_back(document.number);
        std::sort(numbers.begin(), numbers.end());
        const FullText::Searcher searcher(folder);
        const std::vector<std::int16_t> indexed = searcher.DocumentNumbers();
        if (!searcher.ok())
            why = folder.string() + ": " + searcher.error();
        else if (indexed != numbers)
            why = folder.string() + ": holds " + std::to_string(indexed.size()) + " documents that are not those of " +
                  "the document table (" + std::to_string(numbers.size()) + ")";
    }
    if (why.empty()) return 0;
    ErrorLog().WriteEntry("the full-text index does not match the base: " + why);
    err << "norik-tool: the base is damaged: " << why << " (norik-tool fulltext rebuilds it)\n";
    return kExitDamaged;
}

int Verify(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(0, "no arguments");
    std::vector<std::string> problems;
    VerifySummary summary;
    ProgressLine progress(err, IsTerminalStream(err), "verify");
    const bool ok = VerifyBase(problems, summary, progress.Teller());
    progress.Clear();
    for (const std::string& problem : problems) out << problem << "\n";
    PrintLimited(summary.warnings, "warning: ", out);
    if (!ok) {
        err << "norik-tool: verify found " << problems.size() << " problem" << (problems.size() == 1 ? "" : "s")
            << " in " << GetIndexFolder() << "\n";
        return kExitFailure;
    }
    if (const int failed = VerifyFullTextIndex(err)) return failed;
    out << "OK: " << summary.documents << " documents, " << summary.rows << " rows, " << summary.entriesChecked
        << " entries decoded (" << summary.decodedBytes << " bytes)\n";
    return 0;
}

void PrintBuildReport(const BuildReport& report, const std::string& folder, std::ostream& out) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", report.seconds);
    out << "built " << folder << ": " << report.documents << " documents, " << report.rows << " rows, "
        << report.textBytes << " bytes of RTF, Norik.sdb " << report.containerBytes << " bytes, base "
        << report.baseBytes << " bytes, " << report.textWordKeys << " text word keys, " << seconds << " s\n";
}

int FailBuild(const std::vector<std::string>& problems, const std::string& folder, std::ostream& err) {
    // The builder's problems are UTF-8 already (file names as the file system gives them). One
    // problem is the one line; more are listed, the first few one a line, before a summing line.
    if (problems.size() <= 1) {
        err << "norik-tool: " << (problems.empty() ? std::string("build failed") : problems.front()) << "\n";
        return kExitFailure;
    }
    PrintLimited(problems, "", err);
    err << "norik-tool: " << folder << " was not built: " << problems.size() << " problems\n";
    return kExitFailure;
}

int Build(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(2, "SOURCE_DIR OUT_DIR");
    FolderSource source(args.positional()[0]);
    std::vector<std::string> problems;
    BuildReport report;
    ProgressLine progress(err, IsTerminalStream(err), "build");
    const bool built = BuildBase(source, args.positional()[1], {.progress = progress.Teller()}, report, problems);
    progress.Clear();
    // Warnings go first: the last line on stderr of a failed build is the failure.
    PrintLimited(report.warnings, "warning: ", err);
    if (!built) return FailBuild(problems, args.positional()[1], err);
    PrintBuildReport(report, args.positional()[1], out);
    return 0;
}

int Sample(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(1, "OUT_DIR");
    SampleOptions options;
    if (const auto v = args.Value("--documents"))
        options.documents = static_cast<int>(ParseInteger(*v, 1, kMaxSampleDocuments, "--documents"));
    if (const auto v = args.Value("--seed"))
        options.seed = static_cast<std::uint64_t>(ParseInteger(*v, 0, 9223372036854775807LL, "--seed"));
    options.large = args.Has("--large");
    if (const auto v = args.Value("--vocabulary"))
        options.inventedWords = static_cast<int>(ParseInteger(*v, 0, kMaxInventedWords, "--vocabulary"));
    const std::string folder = FindVocabularyFolder();
    if (folder.empty()) {
        err << "norik-tool: the vocabulary files are not found (set NORIK_VOCABULARY_DIR)\n";
        return kExitFailure;
    }
    Vocabulary vocabulary;
    std::string message;
    if (!LoadVocabulary(folder, vocabulary, message)) {
        err << "norik-tool: " << message << "\n";
        return kExitFailure;
    }
    const SampleBase sample(vocabulary, options);
    if (args.Has("--source")) {
        if (!sample.WriteSourceFolder(args.positional()[0], message)) {
            err << "norik-tool: " << message << "\n";
            return kExitFailure;
        }
        out << "source of " << sample.documents().size() << " documents written to " << args.positional()[0] << "\n";
        return 0;
    }
    std::vector<std::string> problems;
    BuildReport report;
    ProgressLine progress(err, IsTerminalStream(err), "sample");
    const bool built = BuildBase(sample, args.positional()[0], {.progress = progress.Teller()}, report, problems);
    progress.Clear();
    if (!built) return FailBuild(problems, args.positional()[0], err);
    PrintBuildReport(report, args.positional()[0], out);
    return 0;
}

}  // namespace

int RunFullTextCommand(const std::string& command, const Arguments& args, const std::vector<std::string>&,
                       std::ostream& out, std::ostream& err) {
    if (command == "search") return QuickSearch(args, out, err);
    if (command == "verify") return Verify(args, out, err);
    if (command == "build") return Build(args, out, err);
    if (command == "fulltext") return FullTextBuild(args, out, err);
    if (command == "cited-by") return CitedBy(args, out, err);
    return Sample(args, out, err);
}

}  // namespace Norik
