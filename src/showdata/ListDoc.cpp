#include "showdata/ListDoc.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Helpers/BaseLimits.h"
#include "Helpers/Cp1251.h"
#include "Helpers/SFile.h"
#include "diagnostics/ErrorLog.h"
#include "showdata/ListDocImpl.h"

namespace ShowData {

using Norik::HResult;

namespace ListDocDetail {

ModelTables& Tables() {
    static ModelTables tables;
    return tables;
}

HResult NoteDamage(ModelTable table, HResult code, const std::string& path, std::string problem, Norik::DamageKind kind,
                   const char* function, int line) {
    auto& tables = Tables();
    const auto slot = static_cast<int>(table);
    Norik::DataDamage damage{path, std::move(problem), kind};
    if (tables.reported[slot] != damage) {
        Norik::ReportDamage(code, line, kReportSource, function, damage.file, damage.problem);
        tables.reported[slot] = damage;
    }
    tables.damage[slot] = std::move(damage);
    return code;
}

std::string OpenProblem(HResult code) { return "cannot be opened: " + Norik::FormatSystemError(code); }

std::string Where(const char* what, std::int32_t index, std::int32_t count) {
    return std::string(what) + " " + std::to_string(index + 1) + " of " + std::to_string(count);
}

const ModelTexts& Texts() {
    static const ModelTexts texts;
    return texts;
}

std::size_t ReservationFor(std::int32_t count, const std::string& path) {
    constexpr std::size_t kShortestRow = 6;
    constexpr std::size_t kMostReserved = std::size_t{1} << 18;
    if (count <= 0) return 0;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return 0;
    return std::min({static_cast<std::size_t>(count), static_cast<std::size_t>(size / kShortestRow), kMostReserved});
}

bool SkipRestOfLongLine(Norik::SFile& stream, const char* buffer, int size) {
    std::size_t length = std::strlen(buffer);
    if (length + 1 < static_cast<std::size_t>(size) || buffer[length - 1] == '\n') return true;
    std::size_t lineLength = length;
    char rest[4096];
    do {
        if (lineLength >= Norik::kMaxTableLineBytes) return false;
        rest[0] = '\0';
        if (stream.ReadLine(rest, sizeof rest) != 0) return true;
        length = std::strlen(rest);
        lineLength += length;
    } while (length + 1 == sizeof rest && rest[length - 1] != '\n');
    return lineLength <= Norik::kMaxTableLineBytes;
}

std::string TooLong() { return " is longer than " + std::to_string(Norik::kMaxTableLineBytes) + " bytes"; }

bool OnlyWhiteSpaceLeft(Norik::SFileStream& stream) {
    std::FILE* file = stream.handle();
    if (!file) return true;
    int c = std::fgetc(file);
    while (c != EOF && std::isspace(static_cast<unsigned char>(c))) c = std::fgetc(file);
    if (c == EOF) return true;
    (void)std::ungetc(c, file);  // one character back always fits
    return false;
}

std::string CountProblem(Norik::SFileStream& stream, std::int32_t read, std::int32_t count, const char* rows) {
    if (read < count) {
        return "holds " + std::to_string(read) + " of the " + std::to_string(count) + " " + rows +
               " its first line announces";
    }
    if (!OnlyWhiteSpaceLeft(stream))
        return "holds more " + std::string(rows) + " than the " + std::to_string(count) + " its first line announces";
    return {};
}

}  // namespace ListDocDetail

using namespace ListDocDetail;

// --- Table access ---

const ClassTable& GetClassTable() { return Tables().classTable; }
const TypeList& GetTypeList() { return Tables().typeList; }
const DocTable& GetDocTable() { return Tables().docTable; }
DayCode BaseDate() { return Tables().baseDate; }

const Norik::DataDamage* TableDamage(ModelTable table) {
    const auto& damage = Tables().damage[static_cast<int>(table)];
    return damage ? &*damage : nullptr;
}

void ResetTablesForTests() {
    Tables().ResetClassifier();
    Tables().ResetDocuments();
}

std::size_t DocTableMemoryBytes() {
    const auto& tables = Tables();
    return tables.docTable.capacity() * sizeof(DocItem) + tables.text.ReservedBytes() +
           tables.rowsByNumber.capacity() * sizeof(std::uint32_t);
}

// --- CShowData defaults ---

int CShowData::GetNumber(unsigned) { return -1; }

const DocItem* CShowData::GetDocRow(unsigned) { return nullptr; }
void CShowData::SetParent(int, const std::string&) {}
std::string CShowData::GetTitle() { return "*"; }

}  // namespace ShowData
