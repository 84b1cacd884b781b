// Plain-text extraction from a 17 MB RTF legal code with tables, against unrtf --html and
// pandoc -f rtf -t plain on the same file in the same run. Two forms of the same content:
// RichEdit style with \'hh bytes of Windows-1251, and \uN with a \'3f fallback.
//
//   build-xxx/RichTextBench [megabytes]        (default 17; pandoc is given at most 600 s)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "richtext/PlainText.h"

namespace {

const char* const kWords[] = {"федеральный", "закон", "статья", "порядок", "граждан", "органы", "государственной",
                              "власти", "обязан", "рассмотреть", "обращение", "течение", "дней", "срок", "решение",
                              "субъекта", "Российской", "Федерации", "право", "лица", "настоящего", "кодекса",
                              "установленном", "случае", "сведения", "документы", "пункта", "части", "ответственность"};

std::string Cp1251Hex(const std::string& utf8) {
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
        unsigned byte = cp == 0x401 ? 0xA8 : cp == 0x451 ? 0xB8 : cp - 0x410 + 0xC0;
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\'%02x", byte);
        out += buf;
    }
    return out;
}

std::string Unicode(const std::string& utf8) {
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
        out += "\\u" + std::to_string(cp) + "\\'3f";
    }
    return out;
}

// A legal code: chapters, articles of several paragraphs, links, and a table every tenth article.
std::string MakeCode(std::size_t targetBytes, bool unicode) {
    auto enc = [unicode](const std::string& s) { return unicode ? Unicode(s) : Cp1251Hex(s); };
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\froman\\fcharset204 Times New Roman;}"
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
                    rtf += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10\\cellx" +
                           std::to_string(c * 2300);
                }
                rtf += "\n\\pard\\intbl ";
                for (int c = 0; c < 4; ++c) rtf += enc(kWords[next() % 29]) + " " + std::to_string(row * 4 + c) + "\\cell ";
                rtf += "\\row\n";
            }
            rtf += "\\pard\\par\n";
        }
    }
    rtf += "}\n";
    return rtf;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double RunTool(const std::string& command) {
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    double s = Seconds(start);
    if (rc != 0) std::printf("    (exit status %d: %s)\n", rc, command.c_str());
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    double megabytes = argc > 1 ? std::atof(argv[1]) : 17.0;
    auto folder = std::filesystem::temp_directory_path() / "norik-richtext-bench";
    std::filesystem::create_directories(folder);
    for (bool unicode : {false, true}) {
        std::string rtf = MakeCode(static_cast<std::size_t>(megabytes * 1024 * 1024), unicode);
        std::string path = (folder / (unicode ? "code-unicode.rtf" : "code-cp1251.rtf")).string();
        std::ofstream(path, std::ios::binary) << rtf;
        const double mb = rtf.size() / (1024.0 * 1024.0);
        std::printf("%s: %.1f MB\n", unicode ? "\\uN form" : "\\'hh form", mb);

        double best = 1e9;
        std::size_t textSize = 0;
        for (int run = 0; run < 3; ++run) {
            auto start = std::chrono::steady_clock::now();
            std::string text = Norik::RtfToPlainText(rtf);
            best = std::min(best, Seconds(start));
            textSize = text.size();
        }
        std::printf("  norik plain text  %8.3f s  %7.1f MB/s  (%zu bytes of text)\n", best, mb / best, textSize);
        // Streaming in 64 KB blocks, as the container's entry reader delivers them.
        {
            auto start = std::chrono::steady_clock::now();
            Norik::PlainTextExtractor extractor(Norik::TextEncoding::Windows1251);
            std::size_t total = 0;
            for (std::size_t i = 0; i < rtf.size(); i += 65536) {
                extractor.Feed(std::string_view(rtf).substr(i, 65536));
                total += extractor.TakeText().size();
            }
            extractor.Finish();
            total += extractor.TakeText().size();
            double s = Seconds(start);
            std::printf("  norik streamed, Windows-1251 out %8.3f s  %7.1f MB/s\n", s, mb / s);
        }
        double unrtf = RunTool("unrtf --html '" + path + "' > /dev/null 2>&1");
        std::printf("  unrtf --html      %8.3f s  %7.1f MB/s  ratio %.1fx\n", unrtf, mb / unrtf, unrtf / best);
        double pandoc = RunTool("timeout 600 pandoc -f rtf -t plain '" + path + "' -o /dev/null");
        std::printf("  pandoc -t plain   %8.3f s  %7.1f MB/s  ratio %.1fx\n", pandoc, mb / pandoc, pandoc / best);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
