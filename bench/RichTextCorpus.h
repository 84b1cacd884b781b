// The generated legal code both rich-text benchmarks read: chapters of articles, links, and a
// table every tenth article, as RichEdit writes them (\'hh bytes of Windows-1251) or with \uN.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace RichTextCorpus {

inline const char* const kWords[] = {
    "федеральный", "закон",       "статья",    "порядок", "граждан",        "органы",  "государственной", "власти",
    "обязан",      "рассмотреть", "обращение", "течение", "дней",           "срок",    "решение",         "субъекта",
    "Российской",  "Федерации",   "право",     "лица",    "настоящего",     "кодекса", "установленном",   "случае",
    "сведения",    "документы",   "пункта",    "части",   "ответственность"};

// Writes the ASCII bytes of a UTF-8 text as they are and every Cyrillic letter (two bytes) as
// escape(code point) gives it.
template <class Escape>
std::string EscapeCyrillic(const std::string& utf8, Escape escape) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        unsigned cp = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
        i += 2;
        out += escape(cp);
    }
    return out;
}

inline std::string Cp1251Hex(const std::string& utf8) {
    return EscapeCyrillic(utf8, [](unsigned cp) {
        unsigned byte = cp == 0x401 ? 0xA8 : cp == 0x451 ? 0xB8 : cp - 0x410 + 0xC0;
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\'%02x", byte);
        return std::string(buf);
    });
}

inline std::string Unicode(const std::string& utf8) {
    return EscapeCyrillic(utf8, [](unsigned cp) { return "\\u" + std::to_string(cp) + "\\'3f"; });
}

// A legal code: chapters, articles of several paragraphs, links, and a table every tenth article.
inline std::string MakeCode(std::size_t targetBytes, bool unicode) {
    auto enc = [unicode](const std::string& s) { return unicode ? Unicode(s) : Cp1251Hex(s); };
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\froman\\fcharset204 Times New Roman;}"
        "{\\f1\\fswiss\\fcharset204 Arial;}}{\\colortbl ;\\red0\\green0\\blue255;}\\uc1\n";
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int article = 1; rtf.size() < targetBytes; ++article) {
        rtf += "\\pard\\qc\\sb240\\sa120\\b\\f1\\fs24 " + enc("Статья " + std::to_string(article) + ". ") +
               enc(kWords[next() % 29]) + " " + enc(kWords[next() % 29]) + "\\b0\\par\n";
        for (int p = 0; p < 4; ++p) {
            rtf += "\\pard\\qj\\fi400\\f0\\fs20 ";
            int words = 40 + static_cast<int>(next() % 40);
            for (int w = 0; w < words; ++w) {
                rtf += enc(kWords[next() % 29]);
                rtf += (w % 13 == 12) ? ", " : " ";
            }
            if (p == 2) {
                int target = static_cast<int>(next() % 9000) + 1;
                rtf += "{\\field{\\*\\fldinst{HYPERLINK \"" + std::to_string(target) + "\"}}{\\fldrslt{\\ul\\cf1 " +
                       enc("Федеральный закон N ") + std::to_string(target) + "}}}";
            }
            rtf += ".\\par\n";
        }
        if (article % 10 == 0) {
            for (int row = 0; row < 10; ++row) {
                rtf += "\\trowd\\trgaph108\\trleft-108";
                for (int c = 1; c <= 4; ++c) {
                    rtf +=
                        "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\b"
                        "rdrw10\\cellx" +
                        std::to_string(c * 2300);
                }
                rtf += "\n\\pard\\intbl ";
                for (int c = 0; c < 4; ++c)
                    rtf += enc(kWords[next() % 29]) + " " + std::to_string(row * 4 + c) + "\\cell ";
                rtf += "\\row\n";
            }
            rtf += "\\pard\\par\n";
        }
    }
    rtf += "}\n";
    return rtf;
}

inline double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace RichTextCorpus
