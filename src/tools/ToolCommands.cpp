#include "tools/ToolCommands.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "Helpers/Cp1251.h"
#include "Helpers/DataDamage.h"
#include "Helpers/Folders.h"
#include "Helpers/SFile.h"
#include "Helpers/SUn7zFile.h"
#include "diagnostics/ErrorLog.h"
#include "index/IndexSpace.h"
#include "platform/UserPort.h"
#include "richtext/HtmlWriter.h"
#include "richtext/PlainText.h"
#include "search/SearchEvaluation.h"
#include "showdata/DayCode.h"
#include "showdata/DocumentCard.h"
#include "showdata/DocumentLinks.h"
#include "showdata/ListDoc.h"
#include "tools/FullTextCommands.h"
#include "tools/ToolArguments.h"
#include "tools/ToolCommon.h"

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
    "  norik-tool [--base DIR] search --quick WORDS [--passages] [--limit N] [--type TEXT]\n"
    "             [--status any|in-force|not-in-force] [--date-from DD.MM.YYYY] [--date-to DD.MM.YYYY]\n"
    "  norik-tool [--base DIR] cited-by NUMBER\n"
    "  norik-tool [--base DIR] cat NUMBER [--rtf | --text | --html]\n"
    "  norik-tool [--base DIR] links NUMBER\n"
    "  norik-tool [--base DIR] card NUMBER\n"
    "  norik-tool [--base DIR] verify\n"
    "  norik-tool build SOURCE_DIR OUT_DIR\n"
    "  norik-tool fulltext DIR [--if-stale]\n"
    "  norik-tool sample OUT_DIR [--documents N] [--seed S] [--large] [--vocabulary N] [--source]\n"
    "exit status:\n"
    "  0   done\n"
    "  1   failed (search: nothing found); one line on stderr says why\n"
    "  2   search without any criterion\n"
    "  3   the answer rests on damaged data of the base: one line on stderr names the damaged file\n"
    "      (what could be read is still printed; the error log has the details)\n"
    "  64  a command line that cannot be understood\n";

// Whether the command reads or writes the full-text index (FullTextCommands.h).
bool IsFullTextCommand(const std::string& command, const Arguments& args) {
    for (const char* name : {"verify", "build", "fulltext", "cited-by", "sample"})
        if (command == name) return true;
    return command == "search" && args.Has("--quick");
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

int Search(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(0, "only options");
    if (args.Has("--passages") || args.Has("--limit")) throw UsageError{"--passages and --limit go with --quick"};
    ShowData::SearchRequest request;
    if (const auto v = args.Value("--section"))
        request.classId = static_cast<std::int16_t>(ParseInteger(*v, 0, 32767, "--section"));
    ReadAttributeFilters(args, request);
    if (const auto v = args.Value("--number")) request.numberText = Utf8ToCp1251(*v);
    if (const auto v = args.Value("--title")) request.titleWords = Utf8ToCp1251(*v);
    if (const auto v = args.Value("--text")) request.textWords = Utf8ToCp1251(*v);
    if (args.Has("--any")) request.allWords = 0;
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

// Streams the stored text of document number (a document of the table) to piece as it is
// decoded: what could be read of a damaged entry goes out too, and the exit status and the line
// on err, which come after it, say whether it is whole.
int StreamDocumentText(std::int16_t number, const std::function<void(std::string_view)>& piece, std::ostream& err) {
    const std::string entry = ShowData::DocFileName(number);
    const std::string container = GetDataFolder() + "Norik.sdb";
    const std::string ofDocument = " (the text of document " + std::to_string(number) + ")";
    SUn7zFile reader;
    RtfStart start;
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
            const std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
            start.Feed(bytes);
            piece(bytes);
        }
    } catch (const std::exception& e) {
        return DamagedAnswer(
            err, {{container, "entry " + entry + ".t has a malformed header: " + Utf8(e.what()) + ofDocument}});
    }
    if (!reader.whole()) return DamagedAnswer(err, {{container, reader.damage() + ofDocument}});
    if (!start.IsRtf())
        return DamagedAnswer(err, {{container, "entry " + entry + ".t does not decode to an RTF text"}});
    return 0;
}

int Cat(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(1, "NUMBER");
    if (args.Has("--rtf") + args.Has("--text") + args.Has("--html") > 1)
        throw UsageError{"--rtf, --text and --html exclude each other"};
    // Only whether the document is in the table matters: its rows are read up to its own, none
    // is kept. The heads of the tables are read first, so that a base that cannot be read is
    // told before a number that cannot be understood, as for every other command.
    if (const int failed = LoadDocuments(err, ShowData::CShowDoc::BindIndexes)) return failed;
    const std::int16_t number = DocumentNumber(args.positional()[0]);
    bool found = false;
    if (Failed(ShowData::CShowDoc::FindDocument(number, found)))
        return DamagedAnswer(err, DamageOf({ShowData::ModelTable::Descript, ShowData::ModelTable::Items}));
    if (!found) return NoSuchDocument(number, err);
    std::optional<PlainTextExtractor> plain;
    if (args.Has("--text")) plain.emplace(TextEncoding::Utf8);
    // HTML is written from the whole text: tables and the outline's headings need all of it.
    const bool html = args.Has("--html");
    std::string whole;
    const int status = StreamDocumentText(
        number,
        [&](std::string_view piece) {
            if (html) {
                whole.append(piece);
            } else if (plain) {
                plain->Feed(piece);
                const std::string text = plain->TakeText();
                out.write(text.data(), static_cast<std::streamsize>(text.size()));
            } else {
                out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            }
        },
        err);
    if (plain) {
        plain->Finish();
        out << plain->TakeText();
    }
    if (html) out << RtfToHtml(whole, HtmlOptions{number, {}}).html;
    return status;
}

// The documents the text of a document links to, in the order their first links appear, one
// number a line.
int Links(const Arguments& args, std::ostream& out, std::ostream& err) {
    args.ExpectPositional(1, "NUMBER");
    // The links are checked against the rows of the table: it is read whole.
    if (const int failed = LoadDocuments(err)) return failed;
    std::int16_t number = 0;
    if (const int failed = KnownDocument(args.positional()[0], err, number)) return failed;
    std::string rtf;
    const int status = StreamDocumentText(
        number, [&rtf](std::string_view piece) { rtf.append(piece); }, err);
    if (status != 0) return status;
    for (const std::int16_t linked : ShowData::LinkedDocuments(rtf))
        if (linked != number) out << linked << "\n";
    return Answered(err, DamageOf({ShowData::ModelTable::Items}));
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
        if (IsFullTextCommand(command, args)) return RunFullTextCommand(command, args, arguments, out, err);
        if (command == "info") return Info(args, out, err);
        if (command == "classifier") return Classifier(args, out, err);
        if (command == "list") return List(args, out, err);
        if (command == "search") return Search(args, out, err);
        if (command == "cat") return Cat(args, out, err);
        if (command == "links") return Links(args, out, err);
        return Card(args, out, err);
    } catch (const UsageError& e) {
        err << "norik-tool: " << command << ": " << e.message << " (norik-tool --help lists the commands)\n";
        return kExitUsage;
    }
}

}  // namespace Norik
