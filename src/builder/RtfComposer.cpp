#include "builder/RtfComposer.h"

#include <array>
#include <cstdio>

#include "Helpers/Cp1251.h"
#include "builder/SampleBase.h"
#include "showdata/DayCode.h"

namespace Norik {

namespace {

std::string W(std::string_view utf8) { return Utf8ToCp1251(utf8); }

bool Contains(const std::string& text, std::string_view utf8) { return text.find(W(utf8)) != std::string::npos; }

enum class Kind { Law, Code, Act, Letter, Court };

Kind KindOf(const DocumentType& type) {
    if (Contains(type.name, "Кодекс")) return Kind::Code;
    if (Contains(type.name, "акон")) return Kind::Law;
    if (Contains(type.name, "Письмо") || Contains(type.name, "письмо") || Contains(type.name, "Разъяснение"))
        return Kind::Letter;
    if (Contains(type.name, "Суд") || Contains(type.name, "Пленума") || Contains(type.name, "Решение") ||
        Contains(type.issuer, "Суд"))
        return Kind::Court;
    return Kind::Act;
}

std::string Capitalize(std::string text) {
    if (!text.empty()) text[0] = UpperCp1251(text.substr(0, 1))[0];
    return text;
}

// "О" becomes "Об" before a vowel.
std::string About(const std::string& phrase) {
    static const std::string vowels = W("аеиоуэАЕИОУЭ");
    const bool vowel = !phrase.empty() && vowels.find(phrase[0]) != std::string::npos;
    return W(vowel ? "Об " : "О ") + phrase;
}
// The same inside a sentence.
std::string about(const std::string& phrase) {
    std::string text = About(phrase);
    text[0] = W("о")[0];
    return text;
}

bool EndsWith(const std::string& text, std::string_view utf8Suffix) {
    const std::string suffix = W(utf8Suffix);
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The form of a past-tense verb that agrees with the type name, judged by its first word:
// Указ утратил, Постановление утратило, Инструкция утратила, Методические рекомендации утратили.
std::string AgreeingPast(const std::string& typeName, std::string_view masculineUtf8) {
    const std::string first = typeName.substr(0, typeName.find(' '));
    const std::string stem = W(masculineUtf8);
    // A plural adjective first (Методические, Нормативные); a noun in -ие is neuter (Постановление).
    if (EndsWith(first, "ые") || EndsWith(first, "кие")) return stem + W("и");
    if (EndsWith(first, "ие") || EndsWith(first, "ое") || EndsWith(first, "о")) return stem + W("о");
    if (EndsWith(first, "я") || EndsWith(first, "а")) return stem + W("а");
    return stem;
}

// The type name's first word is word (Указ, not Указание).
bool FirstWordIs(const std::string& typeName, std::string_view utf8Word) {
    return typeName.substr(0, typeName.find(' ')) == W(utf8Word);
}

// "дня" after a number ending in 1 (but not 11), else "дней": the genitive after "в течение".
std::string DaysGenitive(int n) {
    return std::to_string(n) + (n % 10 == 1 && n % 100 != 11 ? W(" дня") : W(" дней"));
}
// The accusative after "составляет": 1 календарный день, 2 календарных дня, 5 календарных дней.
std::string CalendarDaysAccusative(int n) {
    const int last = n % 10, lastTwo = n % 100;
    if (last == 1 && lastTwo != 11) return std::to_string(n) + W(" календарный день");
    if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)) return std::to_string(n) + W(" календарных дня");
    return std::to_string(n) + W(" календарных дней");
}

// Noun phrases and sentences of legal prose from the vocabulary.
class Prose {
public:
    Prose(const Vocabulary& vocabulary, SampleRandom& random) : m_v(vocabulary), m_r(random) {}

    std::string NounPhrase(Case c, int depth, bool allowPlural = true) {
        const Noun& noun = m_r.Pick(m_v.nouns);
        return NounPhraseOf(noun, c, depth, allowPlural && m_r.Chance(0.3));
    }
    std::string NounPhraseOf(const Noun& noun, Case c, int depth, bool plural) {
        std::string text;
        if (m_r.Chance(0.55)) text = m_r.Pick(m_v.adjectives).AgreeWith(noun, c, plural) + " ";
        text += noun.Form(c, plural);
        if (depth > 0 && m_r.Chance(0.5)) text += " " + NounPhrase(Case::Genitive, depth - 1);
        return text;
    }

    std::string Circumstance() {
        switch (m_r.Below(10)) {
        case 0: return W("в соответствии с ") + NounPhrase(Case::Instrumental, 1);
        case 1: return W("в порядке, установленном ") + NounPhrase(Case::Instrumental, 1);
        case 2: return W("на основании ") + NounPhrase(Case::Genitive, 1);
        case 3: return W("в целях ") + NounPhrase(Case::Genitive, 1);
        case 4: return W("в случае ") + NounPhrase(Case::Genitive, 1);
        case 5: return W("при наличии ") + NounPhrase(Case::Genitive, 1);
        case 6: return W("в отношении ") + NounPhrase(Case::Genitive, 1);
        case 7: return W("в течение ") + DaysGenitive(m_r.Between(3, 90)) + W(" со дня ") + NounPhrase(Case::Genitive, 1);
        case 8: return W("по ") + NounPhrase(Case::Dative, 1);
        default: return W("при ") + NounPhrase(Case::Prepositional, 1);
        }
    }

    std::string Sentence() {
        std::string s;
        switch (m_r.Below(7)) {
        case 0:
        case 1: {
            const Noun& noun = m_r.Pick(m_v.nouns);
            const bool plural = !noun.singularOnly && m_r.Chance(0.3);
            const Verb& verb = m_r.Pick(m_v.verbs);
            s = NounPhraseOf(noun, Case::Nominative, 1, plural) + " " + (plural ? PluralPassive(verb) : verb.passive) +
                " " + Circumstance();
            break;
        }
        case 2:
        case 3: {
            const Verb& verb = m_r.Pick(m_v.verbs);
            s = NounPhrase(Case::Nominative, 0, false) + " " + verb.active + " " + NounPhrase(Case::Accusative, 1) + " " +
                Circumstance();
            break;
        }
        case 4:
            s = W("Размер ") + NounPhrase(Case::Genitive, 1) + W(" не может превышать ") +
                std::to_string(m_r.Between(1, 500) * 100) + W(" рублей");
            break;
        case 5: {
            // A participial clause inside the opening ("в порядке, установленном ...") is closed by a comma.
            std::string opening = Circumstance();
            if (opening.find(',') != std::string::npos) opening += ",";
            s = opening + " " + NounPhrase(Case::Nominative, 1, false) + " " + m_r.Pick(m_v.verbs).passive + " " +
                NounPhrase(Case::Instrumental, 1);
            break;
        }
        default:
            s = W("Срок ") + NounPhrase(Case::Genitive, 1) + W(" составляет ") + CalendarDaysAccusative(m_r.Between(2, 60));
            break;
        }
        if (m_r.Chance(0.3)) s += ", " + Circumstance();
        return Capitalize(s) + ".";
    }

    std::string Heading() { return Capitalize(NounPhrase(Case::Nominative, 1, true)); }

private:
    static std::string PluralPassive(const Verb& verb) {
        std::string text = verb.passive;
        // -ется / -ится become -ются / -ятся.
        const std::string ending = text.substr(text.size() - 4);
        if (ending == W("ется")) return text.substr(0, text.size() - 4) + W("ются");
        if (ending == W("ится")) return text.substr(0, text.size() - 4) + W("ятся");
        return text;
    }

    const Vocabulary& m_v;
    SampleRandom& m_r;
};

const char* const kMonthsGenitive[12] = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                                         "июля",   "августа", "сентября", "октября", "ноября", "декабря"};

std::string LongDate(std::int32_t code) {
    return std::to_string(ShowData::DayOfCode(code)) + " " + W(kMonthsGenitive[ShowData::MonthOfCode(code) - 1]) + " " +
           std::to_string(ShowData::YearOfCode(code)) + W(" г.");
}
std::string ShortDate(std::int32_t code) {
    char text[40];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", ShowData::DayOfCode(code), ShowData::MonthOfCode(code),
                  ShowData::YearOfCode(code));
    return text;
}

std::string RomanNumeral(int n) {
    static const std::pair<int, const char*> digits[] = {{10, "X"}, {9, "IX"}, {5, "V"}, {4, "IV"}, {1, "I"}};
    std::string text;
    for (const auto& [value, letters] : digits)
        while (n >= value) {
            text += letters;
            n -= value;
        }
    return text;
}

// RichEdit's way of writing paragraphs, runs, links, tables and pictures.
class RtfDocument {
public:
    RtfDocument() {
        m_out = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\nouicompat\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset204 Times New "
                "Roman;}{\\f1\\fswiss\\fcharset204 Arial;}}\r\n{\\colortbl ;\\red0\\green0\\blue255;}\r\n"
                "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n";
    }
    std::size_t size() const { return m_out.size(); }

    // align: 'l', 'c', 'r', 'j'.
    void Paragraph(const std::string& text, char align, bool bold, int firstIndent = 0) {
        Begin(align, firstIndent);
        if (bold) m_out += "\\b ";
        m_out += RtfEscape(text);
        if (bold) m_out += "\\b0";
        End();
    }
    void Begin(char align, int firstIndent = 0) {
        m_out += "\\pard";
        if (firstIndent != 0) m_out += "\\fi" + std::to_string(firstIndent);
        m_out += "\\sa120\\q";
        m_out += align;
        m_out += "\\f0\\fs24 ";
    }
    void Run(const std::string& text) { m_out += RtfEscape(text); }
    void Link(int number, const std::string& text) {
        m_out += "{\\field{\\*\\fldinst{HYPERLINK \"" + std::to_string(number) + "\" }}{\\fldrslt{\\ul\\cf1 " +
                 RtfEscape(text) + "}}}\\f0\\fs24 ";
    }
    void End() { m_out += "\\par\r\n"; }

    void Table(const std::vector<std::vector<std::string>>& rows, const std::vector<int>& widths) {
        for (std::size_t r = 0; r < rows.size(); ++r) {
            m_out += "\\trowd\\trgaph108\\trleft-108";
            int edge = 0;
            for (const int width : widths) {
                edge += width;
                m_out += "\\clbrdrl\\brdrw10\\brdrs\\clbrdrt\\brdrw10\\brdrs\\clbrdrr\\brdrw10\\brdrs\\clbrdrb\\brdrw10\\brdrs "
                         "\\cellx" +
                         std::to_string(edge);
            }
            m_out += "\r\n\\pard\\intbl\\f0\\fs22 ";
            for (const std::string& cell : rows[r]) {
                if (r == 0) m_out += "\\b ";
                m_out += RtfEscape(cell);
                if (r == 0) m_out += "\\b0";
                m_out += "\\cell ";
            }
            m_out += "\\row\r\n";
        }
        m_out += "\\pard\\f0\\fs24\r\n";
    }

    void Picture(const std::string& png, int width, int height) {
        static const char* hex = "0123456789abcdef";
        m_out += "\\pard\\qc{\\pict{\\*\\picprop}\\pngblip\\picw" + std::to_string(width) + "\\pich" + std::to_string(height) +
                 "\\picwgoal" + std::to_string(width * 15) + "\\pichgoal" + std::to_string(height * 15) + "\r\n";
        for (std::size_t i = 0; i < png.size(); ++i) {
            const auto byte = static_cast<unsigned char>(png[i]);
            m_out += hex[byte >> 4];
            m_out += hex[byte & 15];
            if (i % 64 == 63) m_out += "\r\n";
        }
        m_out += "}\\par\r\n";
    }

    std::string Finish() {
        m_out += "}\r\n";
        return std::move(m_out);
    }

private:
    std::string m_out;
};

std::string LinkText(const Vocabulary& vocabulary, const SampleDocument& doc) {
    const DocumentType& type = vocabulary.types[static_cast<std::size_t>(doc.typeIndex)];
    std::string text = type.name;
    if (!type.issuer.empty()) text += " " + type.issuer;
    return text + W(" от ") + ShortDate(doc.dateOfIntroduction) + " N " + doc.numberText + W(" «") + doc.title + W("»");
}

std::uint32_t Crc32(const std::string& bytes, std::size_t from) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

}  // namespace

std::string RtfEscape(std::string_view text) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += c;
        } else if (byte >= 0x80) {
            out += "\\'";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else if (c == '\n') {
            out += "\\line ";
        } else {
            out += c;
        }
    }
    return out;
}

std::string UpperCp1251(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0xE0) c = static_cast<char>(byte - 0x20);
        else if (byte == 0xB8) c = static_cast<char>(0xA8);
        else if (byte >= 'a' && byte <= 'z') c = static_cast<char>(byte - 0x20);
    }
    return out;
}

std::string MakeSamplePng(int width, int height, std::uint64_t seed) {
    SampleRandom random(seed, 0x504E47);
    const int r0 = random.Between(40, 200), g0 = random.Between(40, 200), b0 = random.Between(40, 200);
    // Raw scanlines: a filter byte 0, then RGB pixels of a ringed emblem.
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (int x = 0; x < width; ++x) {
            const int dx = 2 * x - width + 1, dy = 2 * y - height + 1;
            const int ring = (dx * dx + dy * dy) * 8 / (width * width + 1);
            const bool on = ring % 2 == 0;
            raw += static_cast<char>(on ? r0 : 255);
            raw += static_cast<char>(on ? g0 : 255 - ring * 8);
            raw += static_cast<char>(on ? b0 : 255);
        }
    }
    // zlib stream of stored deflate blocks.
    std::string z = "\x78\x01";
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + n >= raw.size();
        z += static_cast<char>(last ? 1 : 0);
        z += static_cast<char>(n & 0xFF);
        z += static_cast<char>(n >> 8);
        z += static_cast<char>(~n & 0xFF);
        z += static_cast<char>((~n >> 8) & 0xFF);
        z.append(raw, at, n);
        if (last) break;
    }
    std::uint32_t a = 1, b = 0;
    for (const char c : raw) {
        a = (a + static_cast<unsigned char>(c)) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(z, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    const auto chunk = [&png](const char* type, const std::string& data) {
        PutBigEndian(png, static_cast<std::uint32_t>(data.size()));
        const std::size_t start = png.size();
        png += type;
        png += data;
        PutBigEndian(png, Crc32(png, start));
    };
    std::string header;
    PutBigEndian(header, static_cast<std::uint32_t>(width));
    PutBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);
    chunk("IHDR", header);
    chunk("IDAT", z);
    chunk("IEND", "");
    return png;
}

std::string ComposeNumberText(const std::string& form, SampleRandom& random) {
    std::string text;
    for (const char c : form) {
        if (c == '#') {
            const int digits = random.Chance(0.5) ? 3 : random.Between(1, 4);
            int limit = 1;
            for (int k = 0; k < digits; ++k) limit *= 10;
            text += std::to_string(random.Between(1, limit - 1));
        } else if (c == '9') {
            text += static_cast<char>('0' + random.Below(10));
        } else {
            text += c;
        }
    }
    return text;
}

std::string ComposeTitle(const Vocabulary& vocabulary, const DocumentType& type, SampleRandom& random) {
    Prose prose(vocabulary, random);
    std::string title;
    switch (KindOf(type)) {
    case Kind::Code: {
        static const char* const codes[] = {"Гражданский", "Налоговый", "Трудовой",  "Земельный",       "Жилищный",
                                            "Бюджетный",   "Лесной",    "Водный",    "Градостроительный", "Семейный"};
        title = W(codes[random.Below(std::size(codes))]) + W(" кодекс Российской Федерации");
        if (random.Chance(0.5)) title += W(" (часть ") + W(random.Chance(0.5) ? "первая)" : "вторая)");
        break;
    }
    case Kind::Law:
        switch (random.Below(4)) {
        case 0:
            title = W("О внесении изменений в отдельные законодательные акты Российской Федерации в части ") +
                    prose.NounPhrase(Case::Genitive, 1);
            break;
        case 1:
            title = W("О внесении изменения в статью ") + std::to_string(random.Between(1, 90)) +
                    W(" Федерального закона «") + About(prose.NounPhrase(Case::Prepositional, 1)) + W("»");
            break;
        default: title = About(prose.NounPhrase(Case::Prepositional, 2)); break;
        }
        break;
    case Kind::Letter:
        switch (random.Below(3)) {
        case 0: title = W("По вопросу ") + prose.NounPhrase(Case::Genitive, 1); break;
        case 1: title = W("О порядке ") + prose.NounPhrase(Case::Genitive, 1); break;
        default: title = About(prose.NounPhrase(Case::Prepositional, 1)); break;
        }
        break;
    case Kind::Court:
        title = random.Chance(0.5)
                    ? W("По делу о проверке конституционности положений ") + prose.NounPhrase(Case::Genitive, 1)
                    : W("Об отказе в принятии к рассмотрению жалобы на нарушение ") + prose.NounPhrase(Case::Genitive, 1);
        break;
    case Kind::Act:
        switch (random.Below(5)) {
        case 0:
        case 1: {
            static const char* const what[] = {"Порядка", "Правил", "Положения о", "Перечня", "Административного регламента",
                                               "формы"};
            const std::size_t k = random.Below(std::size(what));
            title = W("Об утверждении ") + W(what[k]) + " " +
                    (k == 2 ? prose.NounPhrase(Case::Prepositional, 1) : prose.NounPhrase(Case::Genitive, 1));
            break;
        }
        case 2: title = W("О мерах по ") + prose.NounPhrase(Case::Dative, 1); break;
        case 3: title = W("О порядке ") + prose.NounPhrase(Case::Genitive, 1); break;
        default: title = About(prose.NounPhrase(Case::Prepositional, 2)); break;
        }
        break;
    }
    return title;
}

std::string ComposeDocumentRtf(const Vocabulary& vocabulary, const std::vector<SampleDocument>& documents,
                               std::size_t index, SampleRandom& random) {
    const SampleDocument& doc = documents[index];
    const DocumentType& type = vocabulary.types[static_cast<std::size_t>(doc.typeIndex)];
    const Kind kind = KindOf(type);
    Prose prose(vocabulary, random);
    RtfDocument rtf;

    const auto anotherDocument = [&]() -> const SampleDocument& {
        if (documents.size() == 1) return doc;
        std::size_t j = random.Below(documents.size() - 1);
        if (j >= index) ++j;
        return documents[j];
    };
    const auto paragraphWithLink = [&]() {
        const SampleDocument& target = anotherDocument();
        rtf.Begin('j', 540);
        rtf.Run(W("См. также: "));
        rtf.Link(target.number, LinkText(vocabulary, target));
        rtf.Run(".");
        rtf.End();
    };
    const auto part = [&](const std::string& label) {
        std::string text = label.empty() ? "" : label + " ";
        const int sentences = random.Between(1, 3);
        for (int k = 0; k < sentences; ++k) text += (k ? " " : "") + prose.Sentence();
        rtf.Paragraph(text, 'j', false, 540);
        if (random.Chance(0.05)) paragraphWithLink();
    };
    const auto enumeration = [&]() {
        rtf.Paragraph(Capitalize(prose.NounPhrase(Case::Nominative, 1, false)) + " " +
                          random.Pick(vocabulary.verbs).passive + W(" в следующих случаях:"),
                      'j', false, 540);
        const int items = random.Between(2, 6);
        for (int k = 1; k <= items; ++k)
            rtf.Paragraph(std::to_string(k) + ") " + prose.NounPhrase(Case::Nominative, 2) + (k == items ? "." : ";"), 'j',
                          false, 540);
    };
    const auto table = [&]() {
        std::vector<std::vector<std::string>> rows{{W("N п/п"), W("Наименование"), W("Код"), W("Размер (руб.)")}};
        const int count = random.Between(3, 8);
        for (int k = 1; k <= count; ++k)
            rows.push_back({std::to_string(k), Capitalize(prose.NounPhrase(Case::Nominative, 1)),
                            std::to_string(random.Between(100, 999)), std::to_string(random.Between(1, 900) * 50)});
        rtf.Table(rows, {800, 4600, 1200, 2000});
    };

    // Heading block.
    if (kind == Kind::Law || kind == Kind::Code) rtf.Paragraph(W("РОССИЙСКАЯ ФЕДЕРАЦИЯ"), 'c', true);
    rtf.Paragraph(UpperCp1251(type.name + (type.issuer.empty() ? "" : " " + type.issuer)), 'c', true);
    rtf.Paragraph(W("от ") + LongDate(doc.dateOfIntroduction) + " N " + doc.numberText, 'c', false);
    rtf.Paragraph(UpperCp1251(doc.title), 'c', true);
    if (!doc.inForce) rtf.Paragraph("(" + AgreeingPast(type.name, "утратил") + W(" силу)"), 'c', false);
    if (random.Chance(0.03)) {
        const int side = random.Between(16, 40);
        rtf.Picture(MakeSamplePng(side, side, static_cast<std::uint64_t>(doc.number)), side, side);
    }

    if (kind == Kind::Law || kind == Kind::Code) {
        rtf.Paragraph(W("Принят Государственной Думой ") + LongDate(doc.dateOfIntroduction), 'r', false);
        int article = 0;
        for (int chapter = 1; rtf.size() < doc.targetSize || chapter == 1; ++chapter) {
            rtf.Paragraph(W("Глава ") + std::to_string(chapter) + ". " + UpperCp1251(prose.Heading()), 'c', true);
            const int articles = random.Between(1, 6);
            for (int a = 0; a < articles && (rtf.size() < doc.targetSize || a == 0); ++a) {
                rtf.Paragraph(W("Статья ") + std::to_string(++article) + ". " + prose.Heading(), 'l', true, 540);
                const int parts = random.Between(1, 5);
                for (int p = 1; p <= parts; ++p) part(parts > 1 ? std::to_string(p) + "." : "");
                if (random.Chance(0.15)) enumeration();
            }
        }
    } else {
        if (kind == Kind::Letter) {
            rtf.Paragraph(W("Рассмотрено обращение ") + about(prose.NounPhrase(Case::Prepositional, 1)) +
                              W(" и сообщается следующее."),
                          'j', false, 540);
        } else if (kind == Kind::Court) {
            rtf.Paragraph(W("Рассмотрев вопрос ") + about(prose.NounPhrase(Case::Prepositional, 1)) + W(", суд установил:"),
                          'j', false, 540);
        } else {
            // The enacting words of the issuer: a minister orders, the President and the Government decree.
            const std::string purpose = W("В целях ") + prose.NounPhrase(Case::Genitive, 2);
            if (FirstWordIs(type.name, "Приказ"))
                rtf.Paragraph(purpose + W(" приказываю:"), 'j', false, 540);
            else if (FirstWordIs(type.name, "Указ"))
                rtf.Paragraph(purpose + W(" постановляю:"), 'j', false, 540);
            else if (FirstWordIs(type.name, "Постановление") && Contains(type.issuer, "Правительства"))
                rtf.Paragraph(purpose + W(" Правительство Российской Федерации постановляет:"), 'j', false, 540);
            else
                rtf.Paragraph(W("Настоящий документ разработан в целях ") + prose.NounPhrase(Case::Genitive, 2) + ".", 'j',
                              false, 540);
        }
        int point = 0;
        for (int section = 1; rtf.size() < doc.targetSize || section == 1; ++section) {
            if (section > 1 || random.Chance(0.5))
                rtf.Paragraph(RomanNumeral(section) + ". " + prose.Heading(), 'c', true);
            const int points = random.Between(2, 8);
            for (int p = 0; p < points && (rtf.size() < doc.targetSize || p == 0); ++p) {
                part(std::to_string(++point) + ".");
                if (random.Chance(0.1)) enumeration();
            }
            if (random.Chance(0.12)) table();
        }
    }
    if (random.Chance(0.35)) {
        rtf.Paragraph(W("Признать утратившими силу:"), 'j', false, 540);
        const int count = random.Between(1, 3);
        for (int k = 0; k < count; ++k) {
            const SampleDocument& target = anotherDocument();
            rtf.Begin('j', 540);
            rtf.Run(std::to_string(k + 1) + ") ");
            rtf.Link(target.number, LinkText(vocabulary, target));
            rtf.Run(k + 1 == count ? "." : ";");
            rtf.End();
        }
    }
    const Signatory& signatory = random.Pick(vocabulary.signatories);
    rtf.Paragraph(signatory.position, 'r', false);
    rtf.Paragraph(signatory.name, 'r', false);
    return rtf.Finish();
}

}  // namespace Norik
