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

#include "RichTextCorpus.h"
#include "richtext/PlainText.h"

namespace {

using RichTextCorpus::MakeCode;
using RichTextCorpus::Seconds;

double RunTool(const std::string& command) {
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    double s = Seconds(start);
    if (rc != 0) std::printf("    (exit status %d: %s)\n", rc, command.c_str());
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    double megabytes = argc > 1 ? std::strtod(argv[1], nullptr) : 17.0;
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
        (void)std::fflush(stdout);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
