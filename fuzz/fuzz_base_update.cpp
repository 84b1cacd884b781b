// libFuzzer target: the base update over an arbitrary update folder. The input holds parts
// separated by the byte 0x1E: the update folder's descript.ttx, the local one, then files, each
// led by one byte that picks its name and whether it lies in the update folder, in the local
// folder, or is a FIFO or a folder in the update folder. After UpdateBase the local folder holds
// either exactly its old files (and the user was told when an update was due) or its old files
// with every table of the update folder copied over them; no temporary file is left behind.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>

#include "Helpers/BaseUpdate.h"
#include "platform/UserPort.h"

namespace fs = std::filesystem;

namespace {

class CountingPort : public Norik::IUserPort {
public:
    Norik::MessageAnswer MessageBox(const std::string&, const std::string&, Norik::MessageButtons,
                                    Norik::MessageIcon) override {
        ++messages;
        return Norik::MessageAnswer::Ok;
    }
    void BeginWait() override {}
    void EndWait() override {}
    bool OpenDocumentText(const std::string&) override { return false; }
    void RunAttributeSearch(ShowData::SearchRequest&, const std::vector<std::int16_t>*) override {}
    void OpenResultListWindow(const std::vector<std::int16_t>&, const ShowData::SearchRequest&) override {}
    int messages = 0;
};

// Every entry of a folder: a file's bytes, or a mark for anything else.
using Snapshot = std::map<std::string, std::string>;

Snapshot Take(const fs::path& folder) {
    Snapshot snapshot;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string& value = snapshot[entry.path().filename().string()];
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            value.assign(std::istreambuf_iterator<char>(in), {});
        } else {
            value = "\x01special";
        }
    }
    return snapshot;
}

bool IsTableName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".ttx";
}

// Writes a file unless something that is no file (a FIFO, a folder) has that name already.
void Write(const fs::path& path, std::string_view bytes) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) return;
    std::ofstream(path, std::ios::binary) << bytes;
}

const fs::path& Root() {
    static const fs::path root = [] {
        setenv("NORIK_ERROR_LOG", "/dev/null", 1);
        std::error_code error;
        const fs::path shm = "/dev/shm";
        return (fs::is_directory(shm, error) ? shm : fs::temp_directory_path()) /
               ("norik-fuzz-update-" + std::to_string(getpid()));
    }();
    // Registered after root is made, so it runs before root is destroyed.
    static const int removal = std::atexit([] {
        std::error_code ignored;
        fs::remove_all(Root(), ignored);
    });
    (void)removal;
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kNames[] = {"class.ttx", "typelist.ttx", "Items.ttx", "index.ttx",
                                         "Items.TTX", "descript.TTX", "notes.txt", "work_now.Ttx"};
    const fs::path source = Root() / "update";
    const fs::path target = Root() / "data";
    std::error_code error;
    fs::remove_all(Root(), error);
    fs::create_directories(source, error);
    fs::create_directories(target, error);

    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (int part = 0; input.data() != nullptr && part < 24; ++part) {
        const std::size_t end = input.find('\x1e');
        std::string_view bytes = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
        if (part < 2) {
            Write((part == 0 ? source : target) / "descript.ttx", bytes);
            continue;
        }
        if (bytes.empty()) continue;
        const auto pick = static_cast<unsigned char>(bytes[0]);
        bytes.remove_prefix(1);
        const std::string name = kNames[pick % 8];
        switch (pick / 8 % 4) {
            case 2:
                Write(target / name, bytes);
                break;
            case 3:
                if (pick % 2 == 0)
                    ::mkfifo((source / name).c_str(), 0644);
                else
                    fs::create_directories(source / name, error);
                break;
            default:
                Write(source / name, bytes);
        }
    }

    const Snapshot updateBefore = Take(source);
    const Snapshot before = Take(target);
    const bool due = Norik::IsUpdateNewer(source.string() + "/", target.string() + "/");
    CountingPort port;
    if (Norik::UpdateBase(source.string() + "/", target.string() + "/", &port) != Norik::kOk) __builtin_trap();
    const Snapshot after = Take(target);

    if (Take(source) != updateBefore) __builtin_trap();
    if (!due && (port.messages != 0 || after != before)) __builtin_trap();
    if (port.messages > 1) __builtin_trap();
    if (due && port.messages == 1 && after != before) __builtin_trap();
    if (due && port.messages == 0) {
        // Every table of the update folder arrived under its lower-case extension; nothing else
        // changed.
        Snapshot expected = before;
        for (const auto& [name, bytes] : updateBefore)
            if (IsTableName(name)) expected[name.substr(0, name.size() - 4) + ".ttx"] = bytes;
        if (after != expected) __builtin_trap();
    }
    return 0;
}
