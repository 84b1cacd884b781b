#include "showdata/DocumentCard.h"

#include <unordered_set>
#include <vector>

#include "Helpers/Cp1251.h"
#include "showdata/DayCode.h"
#include "showdata/ListDoc.h"

namespace Norik {

std::string EscapeRtfText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\' || c == '{' || c == '}') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string WrapCardText(std::string_view text, int indent) {
    const std::size_t width = static_cast<std::size_t>(75 - indent);
    if (text.size() <= width) return EscapeRtfText(text);
    std::string out;
    std::size_t p = 0;
    while (p + width < text.size()) {
        std::size_t e = p + width;
        while (e > p && text[e] != ' ') --e;
        if (e > p) {
            out += EscapeRtfText(text.substr(p, e - p));
            out += "\\par\n";
            p = e + 1;
        } else {
            out += EscapeRtfText(text.substr(p, width));
            out += "\\par\n";
            p += width;
        }
    }
    out += EscapeRtfText(text.substr(p));
    return out;
}

std::string CardDate(std::int32_t dayCode) {
    if (dayCode == 0) return "-";
    return " " + ShowData::DottedDayCode(dayCode) + Utf8ToCp1251(" г.");
}

std::string ComposeDocumentCard(std::int16_t number) {
    ShowData::DocItem row;
    ShowData::DocByNumber(number, row);
    std::string type(row.type);
    const std::size_t firstNonBlank = type.find_first_not_of(' ');
    type = firstNonBlank == std::string::npos ? std::string() : type.substr(firstNonBlank);

    std::string classifier;
    // A section is shown once however often the table files the document under it: a damaged
    // table may repeat a filing thousands of times.
    std::unordered_set<std::int16_t> shown;
    for (const ShowData::DocItem& filing : ShowData::DocRowsByNumber(number)) {
        if (!shown.insert(filing.classId).second) continue;
        std::vector<std::int32_t> chain;
        // The chain of parents ends at the top: the data model breaks cycles and unknown parents.
        for (std::int32_t id = filing.classId; id != 0 && chain.size() < 1000; id = ShowData::ClassParentId(id))
            chain.push_back(id);
        int level = 2;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it, ++level) {
            classifier += "\\pard\\fs20 \\nowidctlpar\\fi" + std::to_string(100 * level) + "\n";
            classifier += WrapCardText("- " + ShowData::ClassName(*it), 2 * level + 10) + "\\par\n";
        }
    }

    std::string card =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049\\deflangfe1049{\\fonttbl{\\f0\\froman\\fprq2\\fcharset204{\\*"
        "\\fname "
        "Arial;}Arial;}}\\pard\\nowidctlpar\\fi200{\\fs20\\b\n";
    card += EscapeRtfText(type) + " " + EscapeRtfText(row.numberText) + "}\\par\n";
    card += "{\\fs20\n";
    card += WrapCardText(row.title, 2) + "}\n";
    card += Utf8ToCp1251("\\par\\par{\\fs20\\b Дата введения:}{\\fs20\n");
    card += " " + CardDate(row.dateOfIntroduction) + Utf8ToCp1251("}\\par\\par{\\fs20\\b Статус:}{\\fs20\n");
    card += " " + Utf8ToCp1251(row.inForce ? "Действующий" : "Недействующий") + "}\\par\\par{\\fs20\\b\n";
    card += Utf8ToCp1251("Классификатор:}\\par\n");
    card += "{\\fs20\n";
    card += classifier + Utf8ToCp1251("}\\par{\\fs20\\b Дата включения в базу:}{\\fs20\n");
    card += " " + CardDate(row.dateAdded) + "}";
    return card;
}

}  // namespace Norik
