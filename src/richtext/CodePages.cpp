#include "richtext/CodePages.h"

#include <iconv.h>

#include <array>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace Norik {

namespace {

struct TableEntry {
    int codePage;
    const char16_t* upperHalf;
};

constexpr TableEntry kTables[] = {
    {874, CodePageTables::kCp874},   {1250, CodePageTables::kCp1250},   {1251, kCp1251HighHalf},
    {1252, CodePageTables::kCp1252}, {1253, CodePageTables::kCp1253},   {1254, CodePageTables::kCp1254},
    {1255, CodePageTables::kCp1255}, {1256, CodePageTables::kCp1256},   {1257, CodePageTables::kCp1257},
    {1258, CodePageTables::kCp1258}, {437, CodePageTables::kCp437},     {850, CodePageTables::kCp850},
    {866, CodePageTables::kCp866},   {10000, CodePageTables::kCp10000},
};
constexpr std::size_t kTableCount = sizeof(kTables) / sizeof(kTables[0]);

std::unique_ptr<ByteDecoder> MakeDecoder(const TableEntry& entry) {
    auto decoder = std::make_unique<ByteDecoder>();
    decoder->codePage = entry.codePage;
    for (int b = 0; b < 256; ++b) {
        char32_t c = b < 0x80 ? static_cast<char32_t>(b) : entry.upperHalf[b - 0x80];
        std::string utf8;
        AppendUtf8(utf8, c);
        // A NUL byte carries no text.
        decoder->length[b] = b == 0 ? 0 : static_cast<std::uint8_t>(utf8.size());
        for (std::size_t i = 0; i < utf8.size() && i < 3; ++i) decoder->bytes[b][i] = utf8[i];
    }
    return decoder;
}

const std::array<std::unique_ptr<ByteDecoder>, kTableCount>& Decoders() {
    static const auto decoders = [] {
        std::array<std::unique_ptr<ByteDecoder>, kTableCount> all;
        for (std::size_t i = 0; i < kTableCount; ++i) all[i] = MakeDecoder(kTables[i]);
        return all;
    }();
    return decoders;
}

const char* IconvName(int codePage) {
    switch (codePage) {
        case 932:
            return "CP932";
        case 936:
            return "GBK";
        case 949:
            return "CP949";
        case 950:
            return "BIG5";
        case 1361:
            return "JOHAB";
        default:
            return nullptr;
    }
}

// What iconv_open returns when it has no converter: (iconv_t)-1, as iconv defines it.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)

}  // namespace

const ByteDecoder* DecoderForCodePage(int codePage) {
    if (IsDoubleByteCodePage(codePage)) return nullptr;
    const auto& decoders = Decoders();
    for (std::size_t i = 0; i < kTableCount; ++i) {
        if (kTables[i].codePage == codePage) return decoders[i].get();
    }
    return decoders[3].get();  // 1252
}

int CodePageForCharset(int charset, int defaultCodePage) {
    switch (charset) {
        case 0:
        case 2:
            return 1252;  // 2, symbol fonts: bytes shown through the Western page
        case 77:
            return 10000;
        case 128:
            return 932;
        case 129:
            return 949;
        case 130:
            return 1361;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        case 254:
        case 255:
            return 437;
        default:
            return defaultCodePage;
    }
}

bool IsDoubleByteCodePage(int codePage) { return IconvName(codePage) != nullptr; }

bool IsLeadByte(int codePage, unsigned char byte) {
    switch (codePage) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950:
        case 1361:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

void AppendDoubleByte(std::string& out, int codePage, std::string_view bytes) {
    // iconv descriptors are not thread-safe: one per code page, used under a lock, closed at exit.
    struct Converters {
        std::unordered_map<int, iconv_t> map;
        ~Converters() {
            for (auto& [page, cd] : map) {
                if (cd != kNoConverter) iconv_close(cd);
            }
        }
    };
    static std::mutex mutex;
    static Converters all;
    auto& converters = all.map;
    std::lock_guard lock(mutex);
    auto it = converters.find(codePage);
    if (it == converters.end()) {
        const char* name = IconvName(codePage);
        iconv_t cd = name ? iconv_open("UTF-8", name) : kNoConverter;
        it = converters.emplace(codePage, cd).first;
    }
    if (it->second == kNoConverter || bytes.empty() || bytes.size() > 2) {
        out.push_back('?');
        return;
    }
    char in[2] = {bytes[0], bytes.size() > 1 ? bytes[1] : '\0'};
    char result[16];
    char* inPtr = in;
    std::size_t inLeft = bytes.size();
    char* outPtr = result;
    std::size_t outLeft = sizeof(result);
    iconv(it->second, nullptr, nullptr, nullptr, nullptr);
    if (iconv(it->second, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
        out.push_back('?');
        return;
    }
    out.append(result, static_cast<std::size_t>(outPtr - result));
}

}  // namespace Norik
