// The builder's strict table reader and the verifier's index-file check over arbitrary bytes.
// The input is cut at the first three 0xFF bytes into descript, class, typelist and Items; the
// whole input is also checked as an index file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "builder/BaseSource.h"
#include "builder/BaseVerifier.h"
#include "builder/SourceTables.h"

namespace {

class BytesSource : public Norik::BaseSource {
public:
    std::string tables[4];
    std::string Describe(const std::string& name) const override { return name; }
    bool ReadTable(const std::string& name, std::string& bytes, std::string&) const override {
        static const char* const names[] = {"descript.ttx", "class.ttx", "typelist.ttx", "Items.ttx"};
        for (int i = 0; i < 4; ++i)
            if (name == names[i]) {
                bytes = tables[i];
                return true;
            }
        return false;
    }
    std::vector<std::string> TextNames() const override { return {}; }
    bool ReadText(const std::string&, std::string&, std::string&) const override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    BytesSource source;
    int part = 0;
    for (const char c : input) {
        if (static_cast<unsigned char>(c) == 0xFF && part < 3)
            ++part;
        else
            source.tables[part] += c;
    }
    Norik::SourceTables tables;
    std::vector<std::string> problems;
    Norik::ReadSourceTables(source, tables, problems);
    std::vector<std::int16_t> documents{1, 2, 3};
    problems.clear();
    Norik::CheckIndexFile("index.ttx", input, documents, problems);
    return 0;
}
