// Reads arbitrary bytes as a text table the way the loaders do: typed integers, then lines cut
// into fields, through a real file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Helpers/SFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        setenv("NORIK_ERROR_LOG", "/dev/null", 1);
        return "/tmp/norik-fuzz-table-" + std::to_string(getpid()) + ".ttx";
    }();
    // A table that could not be written whole is no input to read.
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return 0;
    Norik::SFileStream stream;
    if (stream.Open(path, Norik::kModeRead, false) != Norik::kOk) return 0;
    std::int16_t small = 0;
    std::int32_t large = 0;
    stream.ReadType(small);
    stream.ReadType(large);
    char line[256];
    for (int lines = 0; lines < 64 && stream.ReadLine(line, sizeof line) == 0; ++lines) {
        Norik::CLineFields<256> fields(line);
        for (int i = 0; i < 8; ++i) (void)Norik::FieldToInt(fields.NextField());
    }
    return 0;
}
