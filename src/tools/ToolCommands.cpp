#include "tools/ToolCommands.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include "Helpers/Cp1251.h"
#include "Helpers/DataDamage.h"
#include "Helpers/Folders.h"
#include "Helpers/SFile.h"
#include "Helpers/SUn7zFile.h"
#include "builder/BaseBuilder.h"
#include "builder/BaseVerifier.h"
#include "diagnostics/ErrorLog.h"
#include "fulltext/BaseDocuments.h"
#include "fulltext/FullTextIndex.h"
#include "index/IndexSpace.h"
#include "platform/UserPort.h"
#include "richtext/PlainText.h"
#include "sample/SampleBase.h"
#include "sample/Vocabulary.h"
#include "search/SearchEvaluation.h"
#include "showdata/DayCode.h"
#include "showdata/DocumentCard.h"
#include "showdata/ListDoc.h"
#include "tools/ToolArguments.h"

namespace Norik {

namespace {

const char* const kUsage =
    "usage:\n"
    "  norik-tool [--base DIR] info\n"
    "  norik-tool [--base DIR] classifier\n"
    "  norik-tool [--base DIR] list NODE_ID [--sort date|title|type|number] [--descending]\n"
    "  norik-tool [--base DIR] search [--section ID] [--type TEXT] [--number TEXT] [--title WORDS]\n"
    "             [--text WORDS] [--any] [--status any|in-force|not-in-force] [--within N,N,...]\n"
    "             [--date-from DD.MM.YYYY] [--date-to DD.MM.YYYY]\n"
    "  norik-tool [--base DIR] search --quick WORDS [--passages] [--limit N]\n"
    "  norik-tool [--base DIR] cited-by NUMBER\n"
    "  norik-tool [--base DIR] cat NUMBER [--rtf | --text]\n"
    "  norik-tool [--base DIR] card NUMBER\n"
    "  norik-tool [--base DIR] verify\n"
    "  norik-tool build SOURCE_DIR OUT_DIR\n"
    "  norik-tool fulltext DIR\n"
    "  norik-tool sample OUT_DIR [--documents N] [--seed S] [--large] [--vocabulary N] [--source]\n"
    "exit status:\n"
    "  0   done\n"
    "  1   failed (search: nothing found); one line on stderr says why\n"
    "  2   search without any criterion\n"
    "  3   the answer rests on damaged data of the base: one line on stderr names the damaged file\n"
    "      (what could be read is still printed; the error log has the details)\n"
    "  64  a command line that cannot be understood\n";

constexpr int kExitFailure = 1;
// The answer rests on damaged data of the base.
constexpr int kExitDamaged = 3;
// A mistyped command line; kept apart from search's 1 (nothing found) and 2 (no criterion).
constexpr int kExitUsage = 64;
// Problems of a failed build, or warnings, listed one a line before the rest are counted.
constexpr std::size_t kListedProblems = 20;

// The model's message boxes are not printed: every failure is told in one line of the tool's own,
// which names the damaged file and what is wrong with it. Nothing here is interactive.
class ConsoleUserPort : public IUserPort {
public:
    MessageAnswer MessageBox(const std::string&, const std::string&, MessageButtons buttons, MessageIcon) override {
        return buttons == MessageButtons::YesNo ? MessageAnswer::No
               : buttons == MessageButtons::Ok  ? MessageAnswer::Ok
                                                : MessageAnswer::Cancel;
    }
    void BeginWait() override {}
    void EndWait() override {}
    bool OpenDocumentText(const std::string&) override { return false; }
    void RunAttributeSearch(ShowData::SearchRequest&, const std::vector<std::int16_t>*) override {}
    void OpenResultListWindow(const std::vector<std::int16_t>&, const ShowData::SearchRequest&) override {}
};

std::string Utf8(const std::string& cp1251) { return Cp1251ToUtf8(cp1251); }

// One line naming every damaged file an answer rests on; the exit status of such an answer.
int DamagedAnswer(std::ostream& err, const std::vector<DataDamage>& damage) {
    err << "norik-tool: the base is damaged: ";
    if (damage.empty()) err << GetIndexFolder() << " cannot be read";
    for (std::size_t i = 0; i < damage.size(); ++i) err << (i > 0 ? "; " : "") << damage[i].Text();
    err << " (details in " << ErrorLog::path() << ")\n";
    return kExitDamaged;
}

// What kept the given tables and indexes from being read whole.
std::vector<DataDamage> DamageOf(std::initializer_list<ShowData::ModelTable> tables,
                                 std::initializer_list<const IndexSpace::IIndexInt*> indexes = {}) {
    std::vector<DataDamage> damage;
    for (const ShowData::ModelTable table : tables)
        if (const DataDamage* found = ShowData::TableDamage(table)) damage.push_back(*found);
    for (const IndexSpace::IIndexInt* index : indexes)
        if (const DataDamage* found = index->damage()) damage.push_back(*found);
    return damage;
}

int Answered(std::ostream& err, const std::vector<DataDamage>& damage) {
    return damage.empty() ? 0 : DamagedAnswer(err, damage);
}

// A folder without any of the tables a base begins with is no base at all, rather than a
// damaged one.
bool NoBaseThere() {
    std::error_code error;
    for (const char* table : {"descript", "Items", "class"})
        if (std::filesystem::exists(GetTablePath(table), error)) return false;
    return true;
}

int NoBase(std::ostream& err) {
    err << "norik-tool: no base in " << GetIndexFolder() << " (none of descript.ttx, Items.ttx, class.ttx is there)\n";
    return kExitFailure;
}

// Loads the document table and binds the indexes (load is CShowDoc::Init), or only binds them
// (CShowDoc::BindIndexes) for a command that reads no row: 0, or the exit status after the one
// line telling why the tables cannot be read. Both fail alike. A base without documents is no
// failure: its figures are 0 and its searches find nothing.
int LoadDocuments(std::ostream& err, HResult (*load)() = ShowData::CShowDoc::Init) {
    if (Succeeded(load())) return 0;
    if (NoBaseThere()) return NoBase(err);
    return DamagedAnswer(err, DamageOf({ShowData::ModelTable::Descript, ShowData::ModelTable::Items}));
}

// Loads the classifier: 0, or the exit status after the one line telling why it cannot be read.
int LoadClassifier(IUserPort& port, std::ostream& err) {
    ShowData::CShowClass::Init(port);
    if (!ShowData::GetClassTable().empty()) return 0;
    if (NoBaseThere()) return NoBase(err);
    if (const DataDamage* damage = ShowData::TableDamage(ShowData::ModelTable::Class))
        return DamagedAnswer(err, {*damage});
    err << "norik-tool: the classifier in " << GetTablePath("class") << " has no records\n";
    return kExitFailure;
}

std::int16_t DocumentNumber(const std::string& text) {
    return static_cast<std::int16_t>(ParseInteger(text, -32768, 32767, "NUMBER"));
}

// The exit status after the one line saying there is no document number in the base (an answer
// that rests on the document table, if that is damaged).
int NoSuchDocument(std::int16_t number, std::ostream& err) {
    if (const DataDamage* damage = ShowData::TableDamage(ShowData::ModelTable::Items)) {
        err << "norik-tool: no document " << number
            << " in the base, whose document table is damaged: " << damage->Text() << " (details in "
            << ErrorLog::path() << ")\n";
        return kExitDamaged;
    }
    err << "norik-tool: no document " << number << " in the base\n";
    return kExitFailure;
}

// The number of a document of the loaded table: 0, or the exit status of NoSuchDocument.
int KnownDocument(const std::string& text, std::ostream& err, std::int16_t& number) {
    number = DocumentNumber(text);
    ShowData::DocItem row;
    return ShowData::DocByNumber(number, row) ? 0 : NoSuchDocument(number, err);
}

// The day code of a date option; a text that is no date is a command line not understood.
ShowData::DayCode DateOption(const std::string& text, const char* option) {
    const std::optional<ShowData::DayCode> code = ShowData::ParseDottedDate(text);
    if (!code) throw UsageError{std::string(option) + " takes a date DD.MM.YYYY, not \"" + text + "\""};
    return *code;
}

// What the search message calls each index.
std::string IndexDescription(const std::string& stem) {
    if (stem == "index") return "the word index of the base";
    if (stem == "titidx") return "the title word index of the base";
    if (stem == "clasidx") return "the section index of the base";
    if (stem == "typeidx") return "the type index of the base";
    if (stem == "numbidx") return "the number index of the base";
    if (stem == "date_beg") return "the date index of the base";
    if (stem == "work_now") return "the status index of the base";
    return "the index " + stem;
}

// Tells, from a text fed in pieces, whether it is what the text window reads as RTF: "{\rtf"
// after an optional UTF-8 byte order mark and blanks. Holds at most eight bytes.
class RtfStart {
public:
    void Feed(std::string_view piece) {
        for (const char c : piece) {
            if (m_head.size() == 5) return;  // decided: the rest of the text is not looked at
            if (m_markRead) {
                Take(c);
            } else {
                m_mark.push_back(c);
                if (m_mark.size() == 3) EndMark();
            }
        }
    }
    bool IsRtf() {
        if (!m_markRead) EndMark();
        return m_head == "{\\rtf";
    }

private:
    // The first three bytes are a byte order mark, or the start of the text.
    void EndMark() {
        m_markRead = true;
        if (m_mark != "\xEF\xBB\xBF")
            for (const char c : m_mark) Take(c);
    }
    void Take(char c) {
        if (m_head.size() < 5 && !(m_head.empty() && (c == ' ' || c == '\t' || c == '\r' || c == '\n')))
            m_head.push_back(c);
    }

    std::string m_mark;
    bool m_markRead = false;
    std::string m_head;  // the first five bytes after the mark and the blanks
};

int Info(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(0, "no arguments");
    if (const int failed = LoadDocuments(err)) return failed;
    out << "Документов: " << ShowData::DocumentCount() << "\n";
    out << "Дата последнего обновления: " << ShowData::BaseDateText() << "\n";
    out << "Проиндексировано слов: " << ShowData::IndexedWordCount() << "\n";
    out << "Средний словарный запас: " << ShowData::AverageVocabulary() << "\n";
    return Answered(
        err, DamageOf({ShowData::ModelTable::Descript, ShowData::ModelTable::Items}, {&IndexSpace::TextWordIndex()}));
}

int Classifier(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(0, "no arguments");
    ConsoleUserPort port;
    if (const int failed = LoadClassifier(port, err)) return failed;
    for (const ShowData::ClassRow& row : ShowData::GetClassTable())
        out << row.id << "\t" << Utf8(ShowData::ClassPath(row.id)) << "\n";
    return Answered(err, DamageOf({ShowData::ModelTable::Class}));
}

int List(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(1, "NODE_ID");
    const int id = static_cast<int>(ParseInteger(args.positional()[0], 0, 2147483647, "NODE_ID"));
    int key = -1;
    if (const auto sort = args.Value("--sort")) {
        static const char* const keys[] = {"date", "title", "type", "number"};
        for (int k = 0; k < 4; ++k)
            if (*sort == keys[k]) key = k;
        if (key < 0) throw UsageError{"--sort takes date, title, type or number"};
    } else if (args.Has("--descending")) {
        key = 0;
    }
    ConsoleUserPort port;
    if (const int failed = LoadClassifier(port, err)) return failed;
    if (const int failed = LoadDocuments(err)) return failed;
    const int index = ShowData::ClassIndexById(id);
    if (id != 0 && index < 0) {
        if (const DataDamage* damage = ShowData::TableDamage(ShowData::ModelTable::Class))
            return DamagedAnswer(err, {*damage});
        err << "norik-tool: no classifier node " << id << "\n";
        return kExitFailure;
    }
    // A node that holds documents lists them; the root and the other nodes list their children.
    std::shared_ptr<ShowData::CShowData> list;
    if (id != 0 && ShowData::GetClassTable()[static_cast<std::size_t>(index)].hasDocuments != 0)
        list = std::make_shared<ShowData::CShowDoc>(port);
    else
        list = std::make_shared<ShowData::CShowClass>(port);
    list->SetParent(id, "");
    if (key >= 0) list->Sort(key, args.Has("--descending"));
    const auto* classes = dynamic_cast<ShowData::CShowClass*>(list.get());
    for (int i = 0; i < list->Count(); ++i) {
        const auto row = static_cast<unsigned>(i);
        const long long number = classes != nullptr ? classes->items()[row].id : list->GetNumber(row);
        out << number << "\t" << Utf8(list->GetText(row)) << "\n";
    }
    return Answered(err, DamageOf({ShowData::ModelTable::Class, ShowData::ModelTable::Items}));
}

int QuickSearch(const Arguments& args, std::ostream& out, std::ostream& err);

int Search(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(0, "only options");
    if (args.Has("--quick")) return QuickSearch(args, out, err);
    if (args.Has("--passages") || args.Has("--limit")) throw UsageError{"--passages and --limit go with --quick"};
    ShowData::SearchRequest request;
    if (const auto v = args.Value("--section"))
        request.classId = static_cast<std::int16_t>(ParseInteger(*v, 0, 32767, "--section"));
    if (const auto v = args.Value("--type")) request.type = Utf8ToCp1251(*v);
    if (const auto v = args.Value("--number")) request.numberText = Utf8ToCp1251(*v);
    if (const auto v = args.Value("--title")) request.titleWords = Utf8ToCp1251(*v);
    if (const auto v = args.Value("--text")) request.textWords = Utf8ToCp1251(*v);
    if (args.Has("--any")) request.allWords = 0;
    if (const auto v = args.Value("--status")) {
        if (*v == "in-force")
            request.inForce = 1;
        else if (*v == "not-in-force")
            request.inForce = 0;
        else if (*v != "any")
            throw UsageError{"--status takes any, in-force or not-in-force"};
    }
    if (const auto v = args.Value("--date-from")) request.introducedFrom = DateOption(*v, "--date-from");
    if (const auto v = args.Value("--date-to")) request.introducedTo = DateOption(*v, "--date-to");
    std::optional<std::vector<std::int16_t>> within;
    if (const auto v = args.Value("--within")) {
        within = ParseNumberList(*v, "--within");
    }
    // The numbers come from the indexes alone: no row of the document table is read.
    if (const int failed = LoadDocuments(err, ShowData::CShowDoc::BindIndexes)) return failed;
    IndexSpace::DocNumberList found;
    try {
        found = ShowData::EvaluateSearchRequest(request);
    } catch (const char* message) {
        err << Utf8(message) << "\n";
        return 2;
    } catch (const ShowData::SearchIndexDamaged& damaged) {
        err << "norik-tool: " << IndexDescription(damaged.indexName()) << " cannot be read: " << damaged.damage().Text()
            << " (details in " << ErrorLog::path() << ")\n";
        return kExitDamaged;
    }
    if (within) found = ShowData::IntersectDocLists(found, *within);
    if (found.empty()) {
        err << "По Вашему запросу ничего не найдено!\n";
        return 1;
    }
    for (const std::int16_t number : found) out << number << "\n";
    return 0;
}

int Cat(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(1, "NUMBER");
    if (args.Has("--rtf") && args.Has("--text")) throw UsageError{"--rtf and --text exclude each other"};
    // Only whether the document is in the table matters: its rows are read up to its own, none
    // is kept. The heads of the tables are read first, so that a base that cannot be read is
    // told before a number that cannot be understood, as for every other command.
    if (const int failed = LoadDocuments(err, ShowData::CShowDoc::BindIndexes)) return failed;
    const std::int16_t number = DocumentNumber(args.positional()[0]);
    bool found = false;
    if (Failed(ShowData::CShowDoc::FindDocument(number, found)))
        return DamagedAnswer(err, DamageOf({ShowData::ModelTable::Descript, ShowData::ModelTable::Items}));
    if (!found) return NoSuchDocument(number, err);
    const std::string entry = ShowData::DocFileName(number);
    const std::string container = GetDataFolder() + "Norik.sdb";
    const std::string ofDocument = " (the text of document " + std::to_string(number) + ")";
    // The text goes out as it is decoded, and what could be read of a damaged entry is shown:
    // the exit status and the line on stderr, which come after it, say whether it is whole.
    SUn7zFile reader;
    RtfStart start;
    std::optional<PlainTextExtractor> plain;
    if (args.Has("--text")) plain.emplace(TextEncoding::Utf8);
    try {
        if (const HResult code = reader.Open(entry, kModeRead, true); Failed(code)) {
            std::error_code error;
            // A header the entry reader refused names the entry and what is wrong with it.
            std::string problem = !reader.damage().empty()                     ? reader.damage()
                                  : !std::filesystem::exists(container, error) ? "is missing"
                                  : code == kStgFileNotFound                   ? "holds no entry " + entry + ".t"
                                                             : "cannot be read: " + FormatSystemError(code);
            return DamagedAnswer(err, {{container, problem + ofDocument}});
        }
        std::vector<char> buffer(std::size_t{1} << 16);
        for (int got; (got = reader.Read(buffer.data(), static_cast<int>(buffer.size()))) > 0;) {
            const std::string_view piece(buffer.data(), static_cast<std::size_t>(got));
            start.Feed(piece);
            if (plain) {
                plain->Feed(piece);
                const std::string text = plain->TakeText();
                out.write(text.data(), static_cast<std::streamsize>(text.size()));
            } else {
                out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            }
        }
    } catch (const std::exception& e) {
        return DamagedAnswer(
            err, {{container, "entry " + entry + ".t has a malformed header: " + Utf8(e.what()) + ofDocument}});
    }
    if (plain) {
        plain->Finish();
        out << plain->TakeText();
    }
    if (!reader.whole()) return DamagedAnswer(err, {{container, reader.damage() + ofDocument}});
    if (!start.IsRtf())
        return DamagedAnswer(err, {{container, "entry " + entry + ".t does not decode to an RTF text"}});
    return 0;
}

int Card(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(1, "NUMBER");
    ConsoleUserPort port;
    if (const int failed = LoadClassifier(port, err)) return failed;
    if (const int failed = LoadDocuments(err)) return failed;
    std::int16_t number = 0;
    if (const int failed = KnownDocument(args.positional()[0], err, number)) return failed;
    out << RtfToPlainText(ComposeDocumentCard(number), TextEncoding::Utf8);
    return Answered(err, DamageOf({ShowData::ModelTable::Class, ShowData::ModelTable::Items}));
}

// The full-text index of the configured base: its own "fulltext/" when that is current, else the
// one the viewer keeps in the cache. 0 with the folder, or the exit status after the line on err.
int CurrentFullTextIndex(std::ostream& err, std::filesystem::path& folder) {
    const std::filesystem::path base = GetIndexFolder();
    const FullText::IndexChoice index = FullText::ChooseIndex(base, ShowData::BaseDate());
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

// The list row texts of the given documents, by number.
std::map<std::int16_t, std::string> RowTexts(const std::vector<std::int16_t>& numbers) {
    ConsoleUserPort port;
    ShowData::CShowDoc list(port);
    list.FillFromNumbers(numbers);
    std::map<std::int16_t, std::string> texts;
    for (int i = 0; i < list.Count(); ++i) {
        const auto row = static_cast<unsigned>(i);
        texts[static_cast<std::int16_t>(list.GetNumber(row))] = Utf8(list.GetText(row));
    }
    return texts;
}

int QuickSearch(const Arguments& args, std::ostream& out, std::ostream& err) {
    for (const char* other : {"--section", "--type", "--number", "--title", "--text", "--status", "--within", "--any"})
        if (args.Has(other)) throw UsageError{std::string("--quick takes no ") + other};
    const std::string query = *args.Value("--quick");
    std::size_t limit = 20;
    if (const auto v = args.Value("--limit")) limit = static_cast<std::size_t>(ParseInteger(*v, 1, 65536, "--limit"));
    if (const int failed = LoadDocuments(err)) return failed;
    std::filesystem::path folder;
    if (const int failed = CurrentFullTextIndex(err, folder)) return failed;
    const FullText::Searcher searcher(folder);
    const FullText::SearchResult result = searcher.Search(query, limit, args.Has("--passages") ? 3 : 0);
    if (!result.error.empty() && !searcher.ok()) {
        ErrorLog().WriteEntry(folder.string() + ": " + result.error);
        err << "norik-tool: the base is damaged: " << folder.string() << ": " << result.error << "\n";
        return kExitDamaged;
    }
    if (!result.error.empty()) {
        err << "norik-tool: " << result.error << "\n";
        return kExitUsage;
    }
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
    const std::vector<FullText::DocumentFields> documents = FullText::DocumentsOfLoadedBase();
    std::vector<std::int16_t> unreadable;
    std::string problem;
    const std::filesystem::path folder = FullText::BaseIndexFolder(GetIndexFolder());
    const FullText::BuildResult built = FullText::BuildIndex(folder, documents,
                                                             [&](std::int16_t number) {
                                                                 std::string why;
                                                                 std::optional<FullText::DocumentText> text =
                                                                     FullText::ContainerDocumentText(number, why);
                                                                 if (!text) {
                                                                     unreadable.push_back(number);
                                                                     if (problem.empty()) problem = why;
                                                                 }
                                                                 return text;
                                                             },
                                                             ShowData::BaseDate(), {});
    if (!built.ok) {
        err << "norik-tool: " << built.error << "\n";
        return kExitFailure;
    }
    out << "indexed " << built.documents << " documents (" << built.textBytes << " bytes of plain text) into "
        << folder.string() << "\n";
    if (!unreadable.empty()) {
        err << "norik-tool: the base is damaged: " << unreadable.size() << " texts of " << GetDataFolder()
            << "Norik.sdb cannot be read (the first, of document " << unreadable.front() << ": " << problem
            << "); they are indexed by their attributes alone\n";
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
    if (const FullText::IndexCheck check = FullText::CheckIndex(folder, ShowData::BaseDate());
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
    const bool ok = VerifyBase(problems, summary);
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
    const bool built = BuildBase(source, args.positional()[1], BuildOptions{}, report, problems);
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
    if (!BuildBase(sample, args.positional()[0], BuildOptions{}, report, problems))
        return FailBuild(problems, args.positional()[0], err);
    PrintBuildReport(report, args.positional()[0], out);
    return 0;
}

}  // namespace

int RunTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    ToolCommandLine line;
    try {
        line = SplitCommandLine(arguments);
    } catch (const UsageError& e) {
        err << "norik-tool: " << e.message << " (norik-tool --help lists the commands)\n";
        return kExitUsage;
    }
    if (line.help) {
        out << kUsage;
        return 0;
    }
    const std::string& command = line.command;
    const std::optional<CommandOptions> options = OptionsOfCommand(command);
    if (!options) {
        err << "norik-tool: unknown command " << command << " (norik-tool --help lists the commands)\n";
        return kExitUsage;
    }
    FolderSettings settings;
    settings.baseOverride = line.base;
    ConfigureFolders(settings);

    try {
        const Arguments args(line.rest, *options);
        if (command == "info") return Info(args, out, err);
        if (command == "classifier") return Classifier(args, out, err);
        if (command == "list") return List(args, out, err);
        if (command == "search") return Search(args, out, err);
        if (command == "cat") return Cat(args, out, err);
        if (command == "card") return Card(args, out, err);
        if (command == "verify") return Verify(args, out, err);
        if (command == "build") return Build(args, out, err);
        if (command == "fulltext") return FullTextBuild(args, out, err);
        if (command == "cited-by") return CitedBy(args, out, err);
        return Sample(args, out, err);
    } catch (const UsageError& e) {
        err << "norik-tool: " << command << ": " << e.message << " (norik-tool --help lists the commands)\n";
        return kExitUsage;
    }
}

}  // namespace Norik
