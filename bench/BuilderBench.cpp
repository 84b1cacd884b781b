// Base builder figures: entry compression side by side with xz (the same LZMA1 .lzma format,
// preset 6, one thread), and a whole sample-base build.
//
//     build-bench/BuilderBench [documents]     (default 2000; needs xz on the PATH)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Helpers/DecimalText.h"
#include "builder/BaseBuilder.h"
#include "builder/ContainerWriter.h"
#include "sample/SampleBase.h"
#include "sample/Vocabulary.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int documents = argc > 1 ? static_cast<int>(Norik::ParseDecimal(argv[1], 1, 1000000).value_or(2000)) : 2000;
    Norik::Vocabulary vocabulary;
    std::string message;
    if (!Norik::LoadVocabulary(Norik::FindVocabularyFolder(), vocabulary, message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 1;
    }
    const Norik::SampleBase sample(vocabulary, {documents, 1, false});

    // Texts: generation speed.
    auto start = std::chrono::steady_clock::now();
    std::vector<std::string> texts;
    std::uint64_t textBytes = 0;
    const std::size_t compressCount = std::min<std::size_t>(300, sample.documents().size());
    for (std::size_t i = 0; i < sample.documents().size(); ++i) {
        std::string text = sample.DocumentText(i);
        textBytes += text.size();
        if (i < compressCount) texts.push_back(std::move(text));
    }
    const double generate = Seconds(start);
    std::printf("generate %d texts: %.2f s, %.1f MB/s\n", documents, generate,
                static_cast<double>(textBytes) / 1e6 / generate);

    // Compression of the first texts, ours and xz's, one thread each.
    std::uint64_t inBytes = 0, ourBytes = 0;
    start = std::chrono::steady_clock::now();
    for (const std::string& text : texts) {
        inBytes += text.size();
        ourBytes += Norik::CompressEntry(text).size();
    }
    const double ours = Seconds(start);
    const fs::path folder = fs::temp_directory_path() / ("norik-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::string command = "xz --format=lzma -6 -T1 -k -f -q";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string path = (folder / (std::to_string(i) + ".rtf")).string();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        const bool written = file && std::fwrite(texts[i].data(), 1, texts[i].size(), file) == texts[i].size();
        if (!file || std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        command += " " + path;
    }
    start = std::chrono::steady_clock::now();
    const int xzStatus = std::system(command.c_str());
    const double xz = Seconds(start);
    std::uint64_t xzBytes = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) xzBytes += fs::file_size(folder / (std::to_string(i) + ".rtf.lzma"));
    fs::remove_all(folder);
    if (xzStatus != 0) {
        std::fprintf(stderr, "xz failed\n");
        return 1;
    }
    std::printf(
        "compress %zu texts (%.1f MB): ours %.2f s -> %.2f MB; xz %.2f s -> %.2f MB; time ratio ours/xz %.2f, size "
        "ratio %.3f\n",
        texts.size(), static_cast<double>(inBytes) / 1e6, ours, static_cast<double>(ourBytes) / 1e6, xz,
        static_cast<double>(xzBytes) / 1e6, ours / xz, static_cast<double>(ourBytes) / static_cast<double>(xzBytes));

    // A whole build on every core.
    const std::string out = (fs::temp_directory_path() / ("norik-bench-base-" + std::to_string(::getpid()))).string();
    Norik::BuildReport report;
    std::vector<std::string> problems;
    if (!Norik::BuildBase(sample, out, {}, report, problems)) {
        std::fprintf(stderr, "build failed: %s\n", problems.empty() ? "" : problems.front().c_str());
        return 1;
    }
    fs::remove_all(out);
    std::printf("build %zu documents: %.2f s (%.0f documents/s), RTF %.1f MB, Norik.sdb %.1f MB, base %.1f MB\n",
                report.documents, report.seconds, static_cast<double>(report.documents) / report.seconds,
                static_cast<double>(report.textBytes) / 1e6, static_cast<double>(report.containerBytes) / 1e6,
                static_cast<double>(report.baseBytes) / 1e6);
    return 0;
}
