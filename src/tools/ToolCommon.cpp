#include "tools/ToolCommon.h"

#include <filesystem>
#include <optional>
#include <ostream>

#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "Helpers/SFile.h"
#include "diagnostics/ErrorLog.h"
#include "showdata/DayCode.h"
#include "tools/ToolArguments.h"

namespace Norik {

namespace {

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

}  // namespace

std::string Utf8(const std::string& cp1251) { return Cp1251ToUtf8(cp1251); }

TerminalEscapes::~TerminalEscapes() { sync(); }

void TerminalEscapes::Escape(unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const char text[4] = {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15]};
    m_target->sputn(text, sizeof text);
}

TerminalEscapes::int_type TerminalEscapes::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const auto byte = static_cast<unsigned char>(traits_type::to_char_type(c));
    if (m_lead) {
        m_lead = false;
        if (byte >= 0x80 && byte <= 0x9F) {
            Escape(0xC2);
            Escape(byte);
            return c;
        }
        m_target->sputc(static_cast<char>(0xC2));
    }
    if (byte == 0xC2) {
        m_lead = true;
    } else if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
        Escape(byte);
    } else {
        m_target->sputc(static_cast<char>(byte));
    }
    return c;
}

void TerminalEscapes::WriteUnescaped(std::string_view text) {
    sync();
    m_target->sputn(text.data(), static_cast<std::streamsize>(text.size()));
    m_target->pubsync();
}

int TerminalEscapes::sync() {
    // A lead byte at the very end of what was written cannot start a control any more.
    if (m_lead) {
        m_lead = false;
        m_target->sputc(static_cast<char>(0xC2));
    }
    return m_target->pubsync();
}

int DamagedAnswer(std::ostream& err, const std::vector<DataDamage>& damage) {
    err << "norik-tool: the base is damaged: ";
    if (damage.empty()) err << GetIndexFolder() << " cannot be read";
    for (std::size_t i = 0; i < damage.size(); ++i) err << (i > 0 ? "; " : "") << damage[i].Text();
    err << " (details in " << ErrorLog::path() << ")\n";
    return kExitDamaged;
}

std::vector<DataDamage> DamageOf(std::initializer_list<ShowData::ModelTable> tables,
                                 std::initializer_list<const IndexSpace::IIndexInt*> indexes) {
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

int LoadDocuments(std::ostream& err, HResult (*load)()) {
    if (Succeeded(load())) return 0;
    if (NoBaseThere()) return NoBase(err);
    return DamagedAnswer(err, DamageOf({ShowData::ModelTable::Descript, ShowData::ModelTable::Items}));
}

void ReadAttributeFilters(const Arguments& args, ShowData::SearchRequest& request) {
    const auto date = [&](const char* option) {
        const std::string text = *args.Value(option);
        const std::optional<ShowData::DayCode> code = ShowData::ParseDottedDate(text);
        if (!code) throw UsageError{std::string(option) + " takes a date DD.MM.YYYY, not \"" + text + "\""};
        return *code;
    };
    if (const auto v = args.Value("--type")) request.type = Utf8ToCp1251(*v);
    if (const auto v = args.Value("--status")) {
        if (*v == "in-force")
            request.inForce = 1;
        else if (*v == "not-in-force")
            request.inForce = 0;
        else if (*v != "any")
            throw UsageError{"--status takes any, in-force or not-in-force"};
    }
    if (args.Has("--date-from")) request.introducedFrom = date("--date-from");
    if (args.Has("--date-to")) request.introducedTo = date("--date-to");
}

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

int KnownDocument(const std::string& text, std::ostream& err, std::int16_t& number) {
    number = DocumentNumber(text);
    ShowData::DocItem row;
    return ShowData::DocByNumber(number, row) ? 0 : NoSuchDocument(number, err);
}

}  // namespace Norik
