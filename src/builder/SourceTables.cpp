#include "builder/SourceTables.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <set>

#include "Helpers/Cp1251.h"
#include "Helpers/DecimalText.h"
#include "showdata/DayCode.h"
#include "showdata/ListDoc.h"

namespace Norik {

namespace {

// Problems beyond this many are counted, not listed: a wholly wrong file would otherwise flood.
constexpr std::size_t kMaxProblems = 200;

// The longest text after the leading numbers that the loaders read in one piece: their line
// buffers are 256 (class), 512 (Items) and 500 (typelist) bytes, newline and NUL included.
constexpr std::size_t kClassRestMax = 254;
constexpr std::size_t kItemRestMax = 510;
constexpr std::size_t kTypeLineMax = 498;

class Problems {
public:
    Problems(std::vector<std::string>& out, std::vector<std::string>& warnings) : m_out(out), m_warnings(warnings) {}
    void Add(const std::string& where, int line, const std::string& text) { AddLine(Located(where, line, text)); }
    // What the viewer reads correctly but looks unusual: said, without stopping the build.
    void Warn(const std::string& where, int line, const std::string& text) {
        if (m_warnings.size() < kMaxProblems) m_warnings.push_back(Located(where, line, text));
    }
    void AddLine(const std::string& line) {
        ++m_count;
        if (m_out.size() < kMaxProblems)
            m_out.push_back(line);
        else if (m_out.size() == kMaxProblems)
            m_out.emplace_back("... further problems are not listed");
    }
    std::size_t count() const { return m_count; }

private:
    static std::string Located(const std::string& where, int line, const std::string& text) {
        return line > 0 ? where + ":" + std::to_string(line) + ": " + text : where + ": " + text;
    }
    std::vector<std::string>& m_out;
    std::vector<std::string>& m_warnings;
    std::size_t m_count = 0;
};

struct Line {
    int number;
    std::string text;  // without the line end
};

// Well-formed UTF-8 that uses multi-byte sequences: a table saved in the wrong encoding.
bool LooksLikeUtf8(const std::string& bytes) {
    const bool multiByte = std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
    return multiByte && IsValidUtf8(bytes);
}

// Splits into lines; CR before LF is dropped (the normalized text keeps LF only).
std::vector<Line> SplitLines(const std::string& bytes, std::string& normalized) {
    std::vector<Line> lines;
    normalized.clear();
    normalized.reserve(bytes.size());
    std::size_t start = 0;
    int number = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const bool hasEnd = end != std::string::npos;
        if (!hasEnd) end = bytes.size();
        std::string text = bytes.substr(start, end - start);
        if (!text.empty() && text.back() == '\r') text.pop_back();
        lines.push_back({++number, text});
        normalized += text;
        normalized += '\n';
        start = end + 1;
    }
    return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsBlankLine(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return IsBlank(c) || c == '\r'; });
}

// Reads count decimal integers from the start of text (blanks before each, an optional sign);
// rest is the position right after the last digit. False when one is missing or out of 32-bit range.
bool LeadingIntegers(const std::string& text, int count, std::vector<long long>& values, std::size_t& rest) {
    values.clear();
    std::size_t at = 0;
    for (int k = 0; k < count; ++k) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (k > 0 && at == rest) return false;  // numbers must be separated
        const std::size_t begin = at;
        if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
        const std::optional<long long> value =
            ParseDecimal(std::string_view(text).substr(begin, at - begin), INT32_MIN, INT32_MAX);
        if (!value) return false;
        values.push_back(*value);
        rest = at;
    }
    return true;
}

bool WholeInteger(const std::string& text, long long& value) {
    std::vector<long long> values;
    std::size_t rest = 0;
    if (!LeadingIntegers(text, 1, values, rest)) return false;
    while (rest < text.size() && IsBlank(text[rest])) ++rest;
    if (rest != text.size()) return false;
    value = values[0];
    return true;
}

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = text.find('|', start);
        if (bar == std::string::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
}

bool ReadTableBytes(const BaseSource& source, const std::string& name, std::string& bytes, Problems& problems) {
    std::string message;
    if (!source.ReadTable(name, bytes, message)) {
        // A source's message usually names the file already.
        const std::string where = source.Describe(name);
        if (message.rfind(where, 0) == 0)
            problems.AddLine(message);
        else
            problems.Add(where, 0, message.empty() ? "cannot be read" : message);
        return false;
    }
    if (LooksLikeUtf8(bytes)) {
        problems.Add(source.Describe(name), 0, "the text is UTF-8; the tables are Windows-1251");
        return false;
    }
    return true;
}

// The first non-blank line must hold the count alone; returns the index of the line after it.
bool ReadCount(const std::vector<Line>& lines, const std::string& where, Problems& problems, long long& count,
               std::size_t& next) {
    next = 0;
    while (next < lines.size() && IsBlankLine(lines[next].text)) ++next;
    if (next == lines.size()) {
        problems.Add(where, 0, "empty file: the first line must hold the number of records");
        return false;
    }
    if (!WholeInteger(lines[next].text, count) || count < 0) {
        problems.Add(where, lines[next].number, "expected the number of records alone on the line");
        return false;
    }
    ++next;
    return true;
}

}  // namespace

bool IsValidDayCode(std::int32_t code) {
    if (code == 0) return true;
    if (code < 0) return false;
    return ShowData::IsCalendarDate(ShowData::YearOfCode(code), ShowData::MonthOfCode(code), ShowData::DayOfCode(code));
}

std::string TypeWithoutLeadingBlanks(const std::string& type) {
    const std::size_t start = type.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : type.substr(start);
}

std::vector<std::size_t> SourceTables::DocumentFirstRows() const {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (i == 0 || items[i].number != items[i - 1].number) rows.push_back(i);
    return rows;
}

bool ReadSourceTables(const BaseSource& source, SourceTables& tables, std::vector<std::string>& problemList) {
    tables = SourceTables{};
    Problems problems(problemList, tables.warnings);
    std::string bytes;

    // descript: two integers, the second the base date.
    const std::string descriptName = source.Describe("descript.ttx");
    if (ReadTableBytes(source, "descript.ttx", bytes, problems)) {
        const std::vector<Line> lines = SplitLines(bytes, tables.descriptText);
        std::vector<long long> values;
        std::string all;
        for (const Line& line : lines) all += line.text + " ";
        std::size_t rest = 0;
        if (!LeadingIntegers(all, 2, values, rest)) {
            problems.Add(descriptName, 1, "expected two integers: a number and the base date (a day code)");
        } else {
            tables.descriptFirst = static_cast<std::int32_t>(values[0]);
            tables.baseDate = static_cast<std::int32_t>(values[1]);
            if (tables.baseDate <= 0 || !IsValidDayCode(tables.baseDate))
                problems.Warn(descriptName, 0,
                              "the base date " + std::to_string(values[1]) + " is not a day code of a real date");
        }
    }

    // class: the count, then "id parentId hasDocuments reserved" and the name on each line.
    const std::string className = source.Describe("class.ttx");
    const bool classRead = ReadTableBytes(source, "class.ttx", bytes, problems);
    if (classRead) {
        const std::vector<Line> lines = SplitLines(bytes, tables.classText);
        long long count = 0;
        std::size_t next = 0;
        if (ReadCount(lines, className, problems, count, next)) {
            std::vector<long long> values;
            for (; next < lines.size(); ++next) {
                const Line& line = lines[next];
                if (IsBlankLine(line.text)) continue;
                if (static_cast<long long>(tables.classes.size()) == count) {
                    problems.Add(className, line.number,
                                 "more records than the count " + std::to_string(count) + " on the first line");
                    break;
                }
                std::size_t rest = 0;
                if (!LeadingIntegers(line.text, 4, values, rest)) {
                    problems.Add(className, line.number,
                                 "expected four integers (id, parent id, holds documents, reserved) and a name");
                    continue;
                }
                SourceClass node;
                node.id = static_cast<int>(values[0]);
                node.parentId = static_cast<int>(values[1]);
                node.hasDocuments = static_cast<std::int16_t>(values[2]);
                node.reserved = static_cast<std::int16_t>(values[3]);
                node.line = line.number;
                const std::string restText = line.text.substr(rest);
                node.name = SplitFields(restText).front();
                if (node.id <= 0 || node.id > 32767)
                    problems.Add(
                        className, line.number,
                        "id " + std::to_string(node.id) + " is outside 1..32767 (documents store it in 16 bits)");
                if (values[2] < -32768 || values[2] > 32767 || values[3] < -32768 || values[3] > 32767)
                    problems.Add(className, line.number, "the third and fourth numbers must fit in 16 bits");
                if (node.name.empty()) problems.Add(className, line.number, "empty name (the loader stops at it)");
                if (restText.size() > kClassRestMax)
                    problems.Add(className, line.number,
                                 "line too long: " + std::to_string(restText.size()) +
                                     " characters after the numbers, at most " + std::to_string(kClassRestMax));
                tables.classes.push_back(std::move(node));
            }
            if (static_cast<long long>(tables.classes.size()) < count)
                problems.Add(className, 0,
                             "the first line announces " + std::to_string(count) + " records, the file holds " +
                                 std::to_string(tables.classes.size()));
        }
        std::map<int, std::size_t> byId;
        for (std::size_t i = 0; i < tables.classes.size(); ++i) {
            const auto [it, inserted] = byId.emplace(tables.classes[i].id, i);
            if (!inserted)
                problems.Add(className, tables.classes[i].line,
                             "id " + std::to_string(tables.classes[i].id) + " repeats the id of line " +
                                 std::to_string(tables.classes[it->second].line));
        }
        for (const SourceClass& node : tables.classes) {
            if (node.parentId == 0) continue;
            if (byId.find(node.parentId) == byId.end()) {
                problems.Add(className, node.line, "parent id " + std::to_string(node.parentId) + " names no node");
                continue;
            }
            // Walk up; a chain longer than the table is a cycle.
            int id = node.parentId;
            std::size_t steps = 0;
            while (id != 0 && steps <= tables.classes.size()) {
                const auto it = byId.find(id);
                if (it == byId.end()) break;
                if (id == node.id) {
                    steps = tables.classes.size() + 1;
                    break;
                }
                id = tables.classes[it->second].parentId;
                ++steps;
            }
            if (steps > tables.classes.size())
                problems.Add(
                    className, node.line,
                    "node " + std::to_string(node.id) + " is its own ancestor (the parent links form a cycle)");
        }
    }

    // typelist: one type name a line.
    const std::string typeName = source.Describe("typelist.ttx");
    if (ReadTableBytes(source, "typelist.ttx", bytes, problems)) {
        const std::vector<Line> lines = SplitLines(bytes, tables.typeListText);
        std::map<std::string, int> seen;
        for (const Line& line : lines) {
            if (line.text.empty()) continue;
            if (line.text.size() > kTypeLineMax) {
                problems.Add(typeName, line.number,
                             "line too long: " + std::to_string(line.text.size()) + " characters, at most " +
                                 std::to_string(kTypeLineMax));
                continue;
            }
            // The name is the first field, as the viewer takes it; what follows a "|" is not read.
            const std::string name = SplitFields(line.text).front();
            if (name.empty()) continue;
            const auto [it, inserted] = seen.emplace(name, line.number);
            if (!inserted)
                problems.Warn(typeName, line.number, "type repeats line " + std::to_string(it->second));
            else
                tables.types.push_back(name);
        }
        if (tables.types.empty()) problems.Warn(typeName, 0, "no type names");
    }

    // Items: the count, then "number classId dateAdded" and "type|title|number|date|inForce|disk".
    const std::string itemsName = source.Describe("Items.ttx");
    if (ReadTableBytes(source, "Items.ttx", bytes, problems)) {
        const std::vector<Line> lines = SplitLines(bytes, tables.itemsText);
        long long count = 0;
        std::size_t next = 0;
        std::map<int, const SourceClass*> classById;
        for (const SourceClass& node : tables.classes) classById.emplace(node.id, &node);
        const std::set<std::string> types(tables.types.begin(), tables.types.end());
        if (ReadCount(lines, itemsName, problems, count, next)) {
            std::vector<long long> values;
            for (; next < lines.size(); ++next) {
                const Line& line = lines[next];
                if (IsBlankLine(line.text)) continue;
                if (static_cast<long long>(tables.items.size()) == count) {
                    problems.Add(itemsName, line.number,
                                 "more rows than the count " + std::to_string(count) + " on the first line");
                    break;
                }
                std::size_t rest = 0;
                if (!LeadingIntegers(line.text, 3, values, rest)) {
                    problems.Add(itemsName, line.number,
                                 "expected three integers (number, section id, date added) before the fields");
                    continue;
                }
                const std::string restText = line.text.substr(rest);
                const std::vector<std::string> fields = SplitFields(restText);
                SourceItem item;
                item.line = line.number;
                const auto say = [&](const std::string& text) { problems.Add(itemsName, line.number, text); };
                const auto warn = [&](const std::string& text) { problems.Warn(itemsName, line.number, text); };
                if (values[0] < -32768 || values[0] > 32767 || values[1] < -32768 || values[1] > 32767) {
                    say("the document number and the section id must fit in 16 bits");
                    continue;
                }
                item.number = static_cast<std::int16_t>(values[0]);
                item.classId = static_cast<std::int16_t>(values[1]);
                item.dateAdded = static_cast<std::int32_t>(values[2]);
                if (fields.size() != 6) {
                    say("expected six fields after the numbers (type|title|number|date of introduction|in force|disk), "
                        "found " +
                        std::to_string(fields.size()));
                    continue;
                }
                if (restText.size() > kItemRestMax)
                    say("line too long: " + std::to_string(restText.size()) +
                        " characters after the numbers, at most " + std::to_string(kItemRestMax));
                item.type = fields[0];
                item.title = fields[1];
                item.numberText = fields[2];
                long long date = 0, inForce = 0, disk = 0;
                // A field that is no integer would be read as another number; an integer that is no
                // calendar date, or a status other than 0 and 1, is read as written.
                if (!WholeInteger(fields[3], date))
                    say("date of introduction \"" + Cp1251ToUtf8(fields[3]) + "\" is not an integer");
                else if (!IsValidDayCode(static_cast<std::int32_t>(date)))
                    warn("date of introduction " + std::to_string(date) + " is not 0 or the day code of a real date");
                if (!WholeInteger(fields[4], inForce))
                    say("status \"" + Cp1251ToUtf8(fields[4]) + "\" is not an integer");
                else if (inForce != 0 && inForce != 1)
                    warn("status " + std::to_string(inForce) + " is neither 1 (in force) nor 0; it counts as in force");
                if (!WholeInteger(fields[5], disk)) say("disk \"" + Cp1251ToUtf8(fields[5]) + "\" is not an integer");
                item.dateOfIntroduction = static_cast<std::int32_t>(date);
                item.inForce = inForce != 0;
                item.disk = static_cast<std::int32_t>(disk);
                if (item.dateAdded <= 0 || !IsValidDayCode(item.dateAdded))
                    warn("date added " + std::to_string(item.dateAdded) + " is not the day code of a real date");
                // Without a readable class.ttx every section would be unknown; that file is named already.
                if (const auto node = classById.find(item.classId); classRead && node == classById.end()) {
                    say("section id " + std::to_string(item.classId) + " is not in class.ttx");
                } else if (classRead && node->second->hasDocuments == 0) {
                    say("section " + std::to_string(item.classId) +
                        " (class.ttx:" + std::to_string(node->second->line) +
                        ") does not hold documents, so the row could never be listed");
                }
                const std::string type = TypeWithoutLeadingBlanks(item.type);
                if (type.empty())
                    warn("empty document type");
                else if (!types.empty() && types.count(type) == 0)
                    warn("type \"" + Cp1251ToUtf8(type) + "\" is not in typelist.ttx");
                if (item.title.empty()) warn("empty title");
                if (item.numberText.empty()) warn("empty document number text");
                if (!tables.items.empty()) {
                    const SourceItem& previous = tables.items.back();
                    if (item.number < previous.number) {
                        say("document " + std::to_string(item.number) + " comes after document " +
                            std::to_string(previous.number) + ": rows must be in ascending order of number");
                    } else if (item.number == previous.number) {
                        const std::size_t first = [&] {
                            std::size_t k = tables.items.size() - 1;
                            while (k > 0 && tables.items[k - 1].number == item.number) --k;
                            return k;
                        }();
                        for (std::size_t k = first; k < tables.items.size(); ++k)
                            if (tables.items[k].classId == item.classId)
                                say("document " + std::to_string(item.number) + " is filed under section " +
                                    std::to_string(item.classId) + " twice (also line " +
                                    std::to_string(tables.items[k].line) + ")");
                        const SourceItem& head = tables.items[first];
                        if (head.type != item.type || head.title != item.title || head.numberText != item.numberText ||
                            head.dateOfIntroduction != item.dateOfIntroduction || head.inForce != item.inForce ||
                            head.dateAdded != item.dateAdded)
                            say("the fields of document " + std::to_string(item.number) +
                                " differ from its row on line " + std::to_string(head.line) +
                                " (only the section may differ)");
                    }
                }
                tables.items.push_back(std::move(item));
            }
            if (static_cast<long long>(tables.items.size()) < count)
                problems.Add(itemsName, 0,
                             "the first line announces " + std::to_string(count) + " rows, the file holds " +
                                 std::to_string(tables.items.size()));
        }
        // Two numbers that share their low 14 bits would share one text.
        std::map<int, const SourceItem*> byFileName;
        for (const std::size_t row : tables.DocumentFirstRows()) {
            const SourceItem& item = tables.items[row];
            const auto [it, inserted] = byFileName.emplace(item.number & 0x3FFF, &item);
            if (!inserted && it->second->number != item.number)
                problems.Add(itemsName, item.line,
                             "documents " + std::to_string(it->second->number) + " (line " +
                                 std::to_string(it->second->line) + ") and " + std::to_string(item.number) +
                                 " share the text " + ShowData::DocFileName(item.number) + ".rtf");
        }
    }
    return problems.count() == 0;
}

}  // namespace Norik
