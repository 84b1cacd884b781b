// Opening the container, finding one entry and reading it, before and after BalanceRootDirectory,
// on containers written with libgsf's GsfOutfileMSOle as the builder writes Norik.sdb (version 3,
// the root's children linked as one sorted list), for 1,000 and 16,000 streams. Also times the
// balancing pass itself.
//
// Every stream is about 2.5 KB (in the mini stream); every 16th is 5,000 bytes (regular sectors),
// and the look-ups alternate between the two kinds over names spread across the directory.
//
// Usage: DirectoryBalanceBench [work folder]   (default: a fresh folder under /tmp, removed after)
#include <gsf/gsf.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Helpers/CompoundFile.h"
#include "builder/DirectoryBalancer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string StreamName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "%06d.t", i);
    return name;
}

bool WriteContainer(const std::string& path, int streams) {
    GError* error = nullptr;
    GsfOutput* sink = gsf_output_stdio_new(path.c_str(), &error);
    if (sink == nullptr) return false;
    GsfOutfile* outfile = gsf_outfile_msole_new(sink);
    std::mt19937 random(7);
    std::vector<guint8> data(5000);
    for (guint8& byte : data) byte = static_cast<guint8>(random());
    bool ok = true;
    for (int i = 0; i < streams && ok; ++i) {
        const size_t size = i % 16 == 0 ? 5000 : 1500 + random() % 2000;
        GsfOutput* child = gsf_outfile_new_child(outfile, StreamName(i).c_str(), FALSE);
        ok = child != nullptr && gsf_output_write(child, size, data.data()) && gsf_output_close(child);
        if (child != nullptr) g_object_unref(child);
    }
    ok = gsf_output_close(GSF_OUTPUT(outfile)) && ok;
    g_object_unref(outfile);
    g_object_unref(sink);
    return ok;
}

// Microseconds for one open + directory look-up, averaged over rounds look-ups.
double FindEntryMicroseconds(const std::string& path, const std::vector<std::string>& targets, int rounds) {
    std::uint64_t checksum = 0;
    const auto start = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        const std::string& name = targets[static_cast<size_t>(r) % targets.size()];
        std::shared_ptr<Norik::CompoundFile> file;
        std::uint32_t id = 0;
        Norik::CompoundDirectoryEntry entry;
        if (Norik::CompoundFile::Open(path, file) < 0 ||
            file->FindRootChild(std::u16string(name.begin(), name.end()), id, entry) < 0) {
            std::fprintf(stderr, "look-up failed: %s %s\n", path.c_str(), name.c_str());
            std::exit(1);
        }
        checksum += id;
    }
    const double total = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (checksum == 1) std::puts("");
    return total / rounds;
}

// Microseconds for one open + find + read of the whole stream, averaged over rounds look-ups.
double OpenEntryMicroseconds(const std::string& path, const std::vector<std::string>& targets, int rounds) {
    std::vector<char> buffer(8192);
    size_t checksum = 0;
    const auto start = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        const std::string& name = targets[static_cast<size_t>(r) % targets.size()];
        std::shared_ptr<Norik::CompoundFile> file;
        std::unique_ptr<Norik::CompoundStream> stream;
        size_t delivered = 0;
        if (Norik::CompoundFile::Open(path, file) < 0 ||
            file->OpenStream(std::u16string(name.begin(), name.end()), stream) < 0 ||
            stream->Read(buffer.data(), buffer.size(), delivered) < 0 || delivered != stream->size()) {
            std::fprintf(stderr, "read failed: %s %s\n", path.c_str(), name.c_str());
            std::exit(1);
        }
        checksum += static_cast<unsigned char>(buffer[delivered - 1]);
    }
    const double total = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (checksum == 1) std::puts("");
    return total / rounds;
}

}  // namespace

int main(int argc, char** argv) {
    gsf_init();
    namespace fs = std::filesystem;
    const bool ownFolder = argc < 2;
    const fs::path folder = ownFolder
                                ? fs::temp_directory_path() / ("norik-balance-bench-" + std::to_string(::getpid()))
                                : fs::path(argv[1]);
    fs::create_directories(folder);

    std::printf("Microseconds per look-up (open + find) and per open (open + find + read the stream):\n");
    std::printf("%-8s %11s %11s %7s %11s %11s %7s %13s\n", "streams", "find list", "find tree", "ratio", "open list",
                "open tree", "ratio", "balance (ms)");
    double unbalanced1000 = 0;
    for (const int streams : {1000, 16000}) {
        const std::string path = (folder / ("Norik-" + std::to_string(streams) + ".sdb")).string();
        if (!WriteContainer(path, streams)) {
            std::fprintf(stderr, "libgsf could not write %s\n", path.c_str());
            return 1;
        }
        // Names spread over the whole directory, regular and mini-stream ones alternating.
        std::vector<std::string> targets;
        std::mt19937 random(11);
        for (int k = 0; k < 512; ++k) {
            const int i = static_cast<int>(random() % static_cast<unsigned>(streams));
            targets.push_back(StreamName(k % 2 == 0 ? i - i % 16 : (i % 16 == 0 ? i + 1 : i) % streams));
        }
        const int rounds = streams >= 16000 ? 1000 : 4000;
        OpenEntryMicroseconds(path, targets, 50);  // warm the page cache
        const double findBefore = FindEntryMicroseconds(path, targets, rounds);
        const double before = OpenEntryMicroseconds(path, targets, rounds);

        const auto start = Clock::now();
        const Norik::HResult code = Norik::BalanceRootDirectory(path);
        const double balanceMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (code != Norik::kOk) {
            std::fprintf(stderr, "BalanceRootDirectory failed: 0x%08X\n", static_cast<unsigned>(code));
            return 1;
        }
        OpenEntryMicroseconds(path, targets, 50);
        const double findAfter = FindEntryMicroseconds(path, targets, rounds * 4);
        const double after = OpenEntryMicroseconds(path, targets, rounds * 4);
        std::printf("%-8d %11.2f %11.2f %6.1fx %11.2f %11.2f %6.1fx %13.1f\n", streams, findBefore, findAfter,
                    findBefore / findAfter, before, after, before / after, balanceMs);
        if (streams == 1000) {
            unbalanced1000 = before;
        } else {
            std::printf("open at 16,000 against open at 1,000, both as libgsf wrote them: %.1fx\n",
                        before / unbalanced1000);
            std::printf("open at 16,000 balanced against open at 1,000 as libgsf wrote it: %.1fx\n",
                        after / unbalanced1000);
        }
    }
    if (ownFolder) fs::remove_all(folder);
    return 0;
}
