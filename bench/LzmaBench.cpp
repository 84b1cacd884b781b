// Decoding a 20 MB entry through SUn7zFile in 65,536-byte reads, against `xz --format=lzma -dc`
// on the same compressed bytes, in the same run.
//
// Usage: LzmaBench [work folder]   (default: a fresh folder under /tmp)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/Helpers/CompoundFileTestWriter.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path work =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path() / "norik-lzma-bench";
    std::filesystem::create_directories(work);
    const std::string plain = (work / "plain.rtf").string();
    const std::string packed = (work / "plain.rtf.lzma").string();
    // RTF-like text from a small vocabulary: compresses about as a document text does.
    const size_t size = size_t{20} * 1000 * 1000;
    if (!std::filesystem::exists(packed)) {
        static const char* words[] = {
            "{\\rtf1\\ansi ", "\\par ",   "\\b0 ", "\xE7\xE0\xEA\xEE\xED ", "\xF1\xF2\xE0\xF2\xFC\xFF ",
            "\\f1\\fs24 ",    "federal ", "1998 ", "\xEF\xF3\xED\xEA\xF2 ", "}"};
        std::mt19937 random(1);
        std::string text;
        while (text.size() < size) {
            text += words[random() % 10];
            if (random() % 5 == 0) text += std::to_string(random() % 1000000);
        }
        text.resize(size);
        std::ofstream(plain, std::ios::binary) << text;
        if (std::system(("xz --format=lzma -6 -k -c '" + plain + "' > '" + packed + "'").c_str()) != 0) return 1;
    }
    std::string entry = Slurp(packed);
    NorikTest::Store32(entry, 5, static_cast<std::uint32_t>(size));
    NorikTest::Store32(entry, 9, 0);
    std::ofstream(work / "Norik.sdb", std::ios::binary) << NorikTest::BuildCompoundFile({{u"000001.t", entry}}, 4);
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = work.string() + "/"});

    std::vector<char> buffer(65536);
    const int rounds = 5;
    double oursBest = 1e99, xzBest = 1e99;
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        Norik::SUn7zFile file;
        if (file.Open("000001", 1, true) != 0) return 1;
        size_t total = 0;
        for (int got; (got = file.Read(buffer.data(), 65536)) > 0;) total += static_cast<size_t>(got);
        oursBest = std::min(oursBest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (total != size) {
            std::fprintf(stderr, "decoded %zu bytes, expected %zu\n", total, size);
            return 1;
        }
        start = Clock::now();
        if (std::system(("xz --format=lzma -dc '" + packed + "' > /dev/null").c_str()) != 0) return 1;
        xzBest = std::min(xzBest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::printf("entry: %zu bytes decoded from %zu compressed, best of %d\n", size, entry.size(), rounds);
    std::printf("SUn7zFile (65,536-byte reads): %8.1f ms\n", oursBest);
    std::printf("xz --format=lzma -dc:          %8.1f ms\n", xzBest);
    std::printf("ours / xz: %.3f\n", oursBest / xzBest);
    return 0;
}
