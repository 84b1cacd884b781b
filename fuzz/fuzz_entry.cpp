// libFuzzer target: the entry reader (SUn7zFile) on arbitrary entry bytes, stored as the stream
// "000001.t" of a sound container in a temporary data folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "../tests/Helpers/CompoundFileTestWriter.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"

namespace {

const std::string& DataFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/norik-fuzz-entry-XXXXXX";
        const char* made = mkdtemp(pattern);
        std::string result = made ? std::string(made) + "/" : std::string("/tmp/");
        setenv("NORIK_ERROR_LOG", (result + "Norik.err").c_str(), 1);
        Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = result});
        return result;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& folder = DataFolder();
    const std::string entry(reinterpret_cast<const char*>(data), size);
    std::ofstream(folder + "Norik.sdb", std::ios::binary | std::ios::trunc)
        << NorikTest::BuildCompoundFile({{u"000001.t", entry}});
    // Keep the error log from growing without bound across runs.
    std::ofstream(folder + "Norik.err", std::ios::trunc).flush();
    std::vector<char> buffer(65536);
    try {
        Norik::SUn7zFile file;
        file.Open("000001", 1, true);
        int block = 1;
        for (int got; (got = file.Read(buffer.data(), block)) > 0;) {
            if (got > block) __builtin_trap();
            block = block * 13 % 65536 + 1;
        }
        if (file.delivered() > file.length()) __builtin_trap();
        // A whole entry delivered exactly its stated length and carries no damage.
        if (file.whole() && (file.delivered() != file.length() || !file.damage().empty())) __builtin_trap();
    } catch (const std::logic_error&) {
    } catch (const std::runtime_error&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
