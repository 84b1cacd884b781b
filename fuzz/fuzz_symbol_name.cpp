// Fuzzes the demangler of the crash report with arbitrary symbol names: it must end, stay within
// its buffers and always give a NUL-terminated name no longer than asked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diagnostics/SymbolName.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Mangled names start with "_Z"; prefix it half of the time so the reader gets past it.
    std::string symbol = (size > 0 && data[0] % 2 == 0) ? "_Z" : "";
    if (size > 0) symbol.append(reinterpret_cast<const char*>(data) + 1, size - 1);
    char out[169];
    const std::size_t length = Norik::DemangleSymbol(symbol.c_str(), out, sizeof out);
    if (length >= sizeof out || out[length] != '\0' || std::strlen(out) != length) std::abort();
    return 0;
}
