// Opening the container, finding one entry and reading 4 KiB: our compound-file reader against
// libgsf's `gsf cat` on the same files, for containers of 1,000, 4,000 and 16,000 streams.
//
// Containers are written by `gsf createole` (libgsf links the root's children as one sorted
// list, so the directory "tree" is as deep as it is long), by `gsf createole` followed by the
// builder's BalanceRootDirectory (what the builder ships: libgsf's sector layout, a balanced
// tree), and by the test writer with a balanced tree (version 4). Every stream is about 2.5 KB;
// every 16th is 5,000 bytes, and those are the ones looked up (4 KiB read from regular sectors).
// A second figure reads a whole 2.5 KB stream from the mini stream (the entry lies anywhere in
// it, so its chain is followed from the start up to there). Each figure is the best of several
// batches, to keep other work on the machine out of it.
//
// Usage: ContainerBench [work folder]   (default: a fresh folder under /tmp)
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../tests/Helpers/CompoundFileTestWriter.h"
#include "Helpers/CompoundFile.h"
#include "builder/DirectoryBalancer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string StreamName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "%06d.t", i);
    return name;
}

size_t StreamSize(int i, std::mt19937& random) { return i % 16 == 0 ? 5000 : 1500 + random() % 2000; }

double OursMicroseconds(const std::string& path, const std::vector<std::string>& targets, size_t readBytes) {
    std::vector<char> buffer(readBytes);
    const int rounds = 400;
    const int batches = 7;
    size_t checksum = 0;
    double best = 0;
    for (int batch = 0; batch < batches; ++batch) {
        const auto start = Clock::now();
        for (int r = batch * rounds; r < (batch + 1) * rounds; ++r) {
            const std::string& name = targets[static_cast<size_t>(r) % targets.size()];
            std::shared_ptr<Norik::CompoundFile> file;
            std::unique_ptr<Norik::CompoundStream> stream;
            size_t delivered = 0;
            if (Norik::CompoundFile::Open(path, file) < 0 ||
                file->OpenStream(std::u16string(name.begin(), name.end()), stream) < 0 ||
                stream->Read(buffer.data(), readBytes, delivered) < 0 || delivered == 0) {
                std::fprintf(stderr, "read failed: %s %s\n", path.c_str(), name.c_str());
                std::exit(1);
            }
            checksum += static_cast<unsigned char>(buffer[delivered - 1]);
        }
        const double perRound = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
        if (batch == 0 || perRound < best) best = perRound;
    }
    if (checksum == 1) std::puts("");
    return best;
}

double GsfMicroseconds(const std::string& path, const std::vector<std::string>& targets, int rounds) {
    const auto start = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        const std::string command =
            "gsf cat '" + path + "' " + targets[static_cast<size_t>(r * 7) % targets.size()] + " > /dev/null";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "gsf cat failed\n");
            std::exit(1);
        }
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
}

struct Figures {
    double regular = 0;  // 4 KiB of a 5,000-byte stream
    double mini = 0;     // a whole stream of the mini stream
};

void PrintRow(int count, const char* writer, const Figures& ours, double gsf) {
    if (gsf > 0) {
        std::printf("%-8d %-16s %14.1f %14.1f %14.1f %9.0fx %9.0fx\n", count, writer, ours.regular, ours.mini, gsf,
                    gsf / ours.regular, gsf / ours.mini);
    } else {
        std::printf("%-8d %-16s %14.1f %14.1f %14s\n", count, writer, ours.regular, ours.mini, "-");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path work =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path() / "norik-container-bench";
    std::filesystem::create_directories(work);
    std::printf("%-8s %-16s %14s %14s %14s %10s %10s\n", "streams", "writer", "ours 4KiB us", "ours mini us",
                "gsf cat us", "gsf/4KiB", "gsf/mini");
    const std::vector<int> counts{1000, 4000, 16000};
    std::vector<Figures> gsfFigures, balancedFigures, writerFigures;
    for (int count : counts) {
        const std::filesystem::path source = work / ("in" + std::to_string(count));
        const std::string gsfPath = (work / ("gsf" + std::to_string(count) + ".ole")).string();
        const std::string gsfBalancedPath = (work / ("gsfbalanced" + std::to_string(count) + ".ole")).string();
        const std::string balancedPath = (work / ("balanced" + std::to_string(count) + ".cfb")).string();
        std::mt19937 random(static_cast<unsigned>(count));
        std::vector<NorikTest::CfbStream> streams;
        std::vector<std::string> big, small;
        for (int i = 0; i < count; ++i) {
            std::string bytes(StreamSize(i, random), '\0');
            for (char& c : bytes) c = static_cast<char>(random());
            (i % 16 == 0 ? big : small).push_back(StreamName(i));
            const std::string name = StreamName(i);
            streams.push_back({std::u16string(name.begin(), name.end()), bytes});
        }
        if (!std::filesystem::exists(gsfPath)) {
            std::filesystem::create_directories(source);
            for (const auto& s : streams) {
                std::ofstream(source / std::string(s.name.begin(), s.name.end()), std::ios::binary) << s.data;
            }
            const std::string command =
                "cd '" + source.string() + "' && gsf createole '" + gsfPath + "' * > /dev/null 2>&1";
            if (std::system(command.c_str()) != 0) return 1;
        }
        if (!std::filesystem::exists(gsfBalancedPath)) {
            std::filesystem::copy_file(gsfPath, gsfBalancedPath);
            if (const Norik::HResult code = Norik::BalanceRootDirectory(gsfBalancedPath); code < 0) {
                std::fprintf(stderr, "BalanceRootDirectory failed: 0x%08X\n", static_cast<unsigned>(code));
                std::filesystem::remove(gsfBalancedPath);
                return 1;
            }
        }
        if (!std::filesystem::exists(balancedPath)) {
            std::ofstream(balancedPath, std::ios::binary) << NorikTest::BuildCompoundFile(streams, 4);
        }
        // Targets spread over the whole name range.
        std::shuffle(big.begin(), big.end(), random);
        std::shuffle(small.begin(), small.end(), random);
        const double gsf = GsfMicroseconds(gsfPath, big, count >= 16000 ? 5 : 10);
        const Figures plain{OursMicroseconds(gsfPath, big, 4096), OursMicroseconds(gsfPath, small, 4096)};
        const Figures gsfBalanced{OursMicroseconds(gsfBalancedPath, big, 4096),
                                  OursMicroseconds(gsfBalancedPath, small, 4096)};
        const Figures balanced{OursMicroseconds(balancedPath, big, 4096), OursMicroseconds(balancedPath, small, 4096)};
        PrintRow(count, "libgsf", plain, gsf);
        PrintRow(count, "libgsf+balanced", gsfBalanced, gsf);
        PrintRow(count, "writer v4", balanced, 0);
        gsfFigures.push_back(plain);
        balancedFigures.push_back(gsfBalanced);
        writerFigures.push_back(balanced);
    }
    std::printf(
        "16,000 / 1,000 streams (4KiB, mini): libgsf %.2f %.2f; libgsf+balanced %.2f %.2f; writer v4 %.2f %.2f\n",
        gsfFigures[2].regular / gsfFigures[0].regular, gsfFigures[2].mini / gsfFigures[0].mini,
        balancedFigures[2].regular / balancedFigures[0].regular, balancedFigures[2].mini / balancedFigures[0].mini,
        writerFigures[2].regular / writerFigures[0].regular, writerFigures[2].mini / writerFigures[0].mini);
    return 0;
}
