// Document titles from the tables turned into file names and into card text: a name never leaves
// its folder nor grows past its bound, and an escaped or wrapped title keeps every character and
// leaves no brace or backslash unescaped.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Helpers/Cp1251.h"
#include "Helpers/DocumentCopy.h"
#include "showdata/DocumentCard.h"

namespace {

// Drops the escapes and line breaks the card adds; false when a brace or backslash stands alone.
bool Unescape(std::string_view rtf, std::string& text) {
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        if (rtf.substr(i, 5) == "\\par\n") {
            text.push_back('\n');
            i += 4;
        } else if (rtf[i] == '\\') {
            if (i + 1 == rtf.size() || (rtf[i + 1] != '\\' && rtf[i + 1] != '{' && rtf[i + 1] != '}')) return false;
            text.push_back(rtf[++i]);
        } else if (rtf[i] == '{' || rtf[i] == '}') {
            return false;
        } else {
            text.push_back(rtf[i]);
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view title(reinterpret_cast<const char*>(data), size);
    const std::string name = Norik::FileNameFromTitle(title, "000001");
    if (name.empty() || name.size() > Norik::kMaxTitleFileNameLength ||
        Norik::Cp1251ToUtf8(name).size() + Norik::kFileNameExtensionBytes > Norik::kMaxFileNameBytes || name == "." ||
        name == ".." || name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
        name.front() == '.') {
        std::abort();
    }
    if (title.find('\n') != std::string_view::npos) return 0;
    std::string text;
    if (!Unescape(Norik::WrapCardText(title, 2), text)) std::abort();
    // Wrapping replaces the blank at each cut by a line break, or adds one inside a long run.
    std::string joined;
    for (const char c : text) {
        if (c != '\n') joined.push_back(c);
    }
    std::string original;
    for (const char c : title) {
        if (c != ' ') original.push_back(c);
    }
    std::string kept;
    for (const char c : joined) {
        if (c != ' ') kept.push_back(c);
    }
    if (kept != original) std::abort();
    return 0;
}
