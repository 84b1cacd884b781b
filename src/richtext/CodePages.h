// Code pages of RTF text: which code page a font charset means, and decoding of its bytes.
//
// Single-byte code pages are decoded through fixed tables (CodePageTables.cpp); the double-byte
// East Asian ones (932, 936, 949, 950, 1361) through the C library's iconv. Pure functions over
// process-wide tables built on first use; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Helpers/Cp1251.h"

namespace Norik {

// The UTF-8 form of every byte of one single-byte code page: bytes[b] holds length[b] bytes.
struct ByteDecoder {
    int codePage = 1252;
    char bytes[256][3]{};
    std::uint8_t length[256]{};
};

// The decoder of a single-byte code page; nullptr for double-byte code pages. Unknown code pages
// decode as Windows-1252.
const ByteDecoder* DecoderForCodePage(int codePage);

// The code page of an RTF \fcharset value; defaultCodePage for DEFAULT_CHARSET (1) and for values
// this reader does not know.
int CodePageForCharset(int charset, int defaultCodePage);

bool IsDoubleByteCodePage(int codePage);
// Whether byte starts a two-byte character in a double-byte code page.
bool IsLeadByte(int codePage, unsigned char byte);
// Appends the UTF-8 form of one or two bytes of a double-byte code page; "?" when they do not
// decode.
void AppendDoubleByte(std::string& out, int codePage, std::string_view bytes);

namespace CodePageTables {
extern const char16_t kCp874[128], kCp1250[128], kCp1252[128], kCp1253[128], kCp1254[128], kCp1255[128], kCp1256[128],
    kCp1257[128], kCp1258[128], kCp437[128], kCp850[128], kCp866[128], kCp10000[128];
}

}  // namespace Norik
