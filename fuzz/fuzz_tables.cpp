// Fuzzes the loaders of the four text tables ("class", "typelist", "descript", "Items") and what is
// computed from them: paths over arbitrary parent links, look-ups by number, lists and sorts.
//
// The input holds the four files separated by the byte 0x1E, in that order; a missing part means
// a missing file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "Helpers/Folders.h"
#include "platform/UserPort.h"
#include "showdata/ListDoc.h"

namespace {

class SilentPort : public Norik::IUserPort {
public:
    Norik::MessageAnswer MessageBox(const std::string&, const std::string&, Norik::MessageButtons,
                                    Norik::MessageIcon) override {
        return Norik::MessageAnswer::Cancel;
    }
    void BeginWait() override {}
    void EndWait() override {}
    bool OpenDocumentText(const std::string&) override { return false; }
    void RunAttributeSearch(ShowData::SearchRequest&, const std::vector<std::int16_t>*) override {}
    void OpenResultListWindow(const std::vector<std::int16_t>&, const ShowData::SearchRequest&) override {}
};

std::filesystem::path& Folder() {
    static std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("norik-fuzz-tables-" + std::to_string(getpid()));
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("NORIK_ERROR_LOG", "/dev/null", 1);
    std::filesystem::create_directories(Folder());
    Norik::ConfigureFolders(Norik::FolderSettings{.baseOverride = Folder().string()});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kNames[] = {"class", "typelist", "descript", "Items"};
    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (const char* name : kNames) {
        const auto path = Folder() / (std::string(name) + ".ttx");
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        if (input.data() == nullptr) continue;
        const std::size_t end = input.find('\x1e');
        std::ofstream(path, std::ios::binary) << input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
    }

    ShowData::ResetTablesForTests();
    SilentPort port;
    ShowData::CShowClass root(port);
    root.SetParent(0, "");
    for (const ShowData::ClassRow& row : ShowData::GetClassTable()) {
        (void)ShowData::ClassPath(row.id);
        int steps = 0;
        for (std::int32_t id = row.id; id != 0; id = ShowData::ClassParentId(id)) {
            if (++steps > 100000) std::abort();  // a parent chain that never ends
        }
    }
    if (root.Count() > 0) {
        if (auto child = root.Open(0)) {
            for (int key = 0; key < 4; ++key) child->Sort(key, key % 2 != 0);
            if (child->Count() > 0) (void)child->GetText(0);
        }
    }
    ShowData::CShowDoc list(port);
    for (const ShowData::DocItem& row : ShowData::GetDocTable()) {
        (void)ShowData::DocRowsByNumber(row.number);
        list.FillFromNumbers({row.number});
        if (list.Count() > 64) break;
    }
    for (int key = 0; key < 4; ++key) list.Sort(key, key % 2 == 0);
    (void)ShowData::DocumentCount();
    (void)ShowData::BaseDateText();
    return 0;
}
