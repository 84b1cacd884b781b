#include "fulltext/FullTextTerms.h"

#include <xapian.h>
#include <zstd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>

#include "showdata/DayCode.h"

namespace Norik::FullText {

std::string LowerUtf8(std::string_view text) {
    std::string lower;
    lower.reserve(text.size());
    for (Xapian::Utf8Iterator it(text.data(), text.size()); it != Xapian::Utf8Iterator(); ++it)
        Xapian::Unicode::append_utf8(lower, Xapian::Unicode::tolower(*it));
    return lower;
}

bool IsStopWord(std::string_view lowerWord) {
    static constexpr std::string_view kStopWords[] = {"в",  "во", "на",  "о", "об",  "обо", "по", "с",
                                                      "со", "к",  "ко",  "и", "или", "для", "от", "до",
                                                      "из", "за", "при", "у", "а",   "но",  "не", "же"};
    for (const std::string_view word : kStopWords)
        if (lowerWord == word) return true;
    return false;
}

std::vector<std::string> DateWords(int day, int month, int year) {
    std::vector<std::string> words;
    char text[32];
    for (const char* format : {"%02d.%02d.%04d", "%d.%02d.%04d", "%02d.%d.%04d", "%d.%d.%04d"}) {
        std::snprintf(text, sizeof text, format, day, month, year);
        if (std::find(words.begin(), words.end(), text) == words.end()) words.emplace_back(text);
    }
    return words;
}

std::string NumberKey(std::string_view numberText) {
    std::string_view rest = numberText;
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    // "№" (U+2116) or a Latin "N" written before the number itself.
    if (rest.starts_with("\xE2\x84\x96")) {
        rest.remove_prefix(3);
    } else if (rest.size() > 1 && (rest.front() == 'N' || rest.front() == 'n')) {
        std::size_t at = 1;
        while (at < rest.size() && rest[at] == ' ') ++at;
        if (at < rest.size() && rest[at] >= '0' && rest[at] <= '9') rest.remove_prefix(at);
    }
    std::string key;
    for (const char c : LowerUtf8(rest))
        if (c != ' ' && c != '\t') key.push_back(c);
    return key;
}

std::string DateKey(std::int32_t dayCode) {
    if (dayCode <= 0) return {};
    char text[16];
    const int year = ShowData::YearOfCode(dayCode);
    const int month = ShowData::MonthOfCode(dayCode);
    const int day = ShowData::DayOfCode(dayCode);
    std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
    return text;
}

std::string YearKey(std::int32_t dayCode) {
    return dayCode <= 0 ? std::string() : std::to_string(ShowData::YearOfCode(dayCode));
}

std::optional<std::string> DateKeyOfText(std::string_view text) {
    int parts[3] = {0, 0, 0};
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    for (int k = 0; k < 3; ++k) {
        const char* const start = at;
        const auto [next, failure] = std::from_chars(at, end, parts[k]);
        if (failure != std::errc()) return std::nullopt;
        const auto digits = next - start;
        if (k < 2 ? (digits < 1 || digits > 2) : digits != 4) return std::nullopt;
        at = next;
        if (k < 2) {
            if (at == end || *at != '.') return std::nullopt;
            ++at;
        }
    }
    if (at != end || parts[0] < 1 || parts[0] > 31 || parts[1] < 1 || parts[1] > 12 || parts[2] < 1900)
        return std::nullopt;
    return DateKey(ShowData::MakeDayCode(parts[2], parts[1], parts[0]));
}

unsigned DocumentIdOf(std::int16_t number) { return static_cast<unsigned>(static_cast<std::uint16_t>(number)) + 1; }

std::optional<std::int16_t> NumberOfDocumentId(unsigned id) {
    if (id < 1 || id > 0x10000) return std::nullopt;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(id - 1));
}

std::string LinkTerm(int linkNumber) { return kLinkPrefix + std::to_string(linkNumber & 0x3FFF); }

std::string SortValue(bool inForce, std::int32_t dayCode) {
    // Day codes stay far below 10^7 for any real year; out-of-range codes are clamped.
    const double date = dayCode < 0 ? 0.0 : dayCode > 9'999'999 ? 9'999'999.0 : dayCode;
    return Xapian::sortable_serialise((inForce ? 1e7 : 0.0) + date);
}

std::vector<std::string_view> SplitPieces(std::string_view text) {
    std::vector<std::string_view> pieces;
    while (!text.empty()) {
        std::size_t cut = text.size();
        if (cut > kPieceBytes) {
            // After the last line end of the window, else its last blank, else at a character.
            const std::string_view window = text.substr(0, kPieceBytes);
            cut = window.rfind('\n');
            if (cut == std::string_view::npos || cut < kPieceBytes / 2) {
                const std::size_t blank = window.find_last_of(" \t");
                if (blank != std::string_view::npos && (cut == std::string_view::npos || blank > cut)) cut = blank;
            }
            if (cut == std::string_view::npos) {
                cut = kPieceBytes;
                while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
                if (cut == 0) cut = kPieceBytes;
            } else {
                ++cut;
            }
        }
        pieces.push_back(text.substr(0, cut));
        text.remove_prefix(cut);
    }
    return pieces;
}

std::string PieceKey(unsigned documentId, std::size_t piece) {
    return "piece:" + std::to_string(documentId) + ":" + std::to_string(piece);
}

std::string PackPositions(const std::vector<std::uint32_t>& positions) {
    std::string bytes;
    bytes.reserve(positions.size() * 4);
    for (const std::uint32_t position : positions)
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>((position >> shift) & 0xFF));
    return bytes;
}

std::vector<std::uint32_t> UnpackPositions(std::string_view bytes) {
    if (bytes.size() % 4 != 0 || bytes.size() / 4 > kMaxPieces) return {};
    std::vector<std::uint32_t> positions;
    positions.reserve(bytes.size() / 4);
    for (std::size_t at = 0; at < bytes.size(); at += 4) {
        std::uint32_t position = 0;
        for (int k = 0; k < 4; ++k)
            position |= std::uint32_t{static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(k)])} << (8 * k);
        if (!positions.empty() && position < positions.back()) return {};
        positions.push_back(position);
    }
    return positions;
}

std::string PackPiece(std::string_view text) {
    // One context per thread, kept: making one for each piece costs more than packing it.
    thread_local const std::unique_ptr<ZSTD_CCtx, std::size_t (*)(ZSTD_CCtx*)> context(ZSTD_createCCtx(),
                                                                                       ZSTD_freeCCtx);
    if (!context) return {};
    std::string packed(ZSTD_compressBound(text.size()), '\0');
    // A fast level: packing runs on every piece of every text of a build, and at this size the
    // text still packs to under a quarter.
    const std::size_t size =
        ZSTD_compressCCtx(context.get(), packed.data(), packed.size(), text.data(), text.size(), 3);
    if (ZSTD_isError(size) != 0) return {};
    packed.resize(size);
    return packed;
}

std::optional<std::string> UnpackPiece(std::string_view packed) {
    // One whole frame that says how much it holds, and no more than a piece.
    const unsigned long long size = ZSTD_getFrameContentSize(packed.data(), packed.size());
    if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN || size > kPieceBytes ||
        ZSTD_findFrameCompressedSize(packed.data(), packed.size()) != packed.size())
        return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    const std::size_t out = ZSTD_decompress(text.data(), text.size(), packed.data(), packed.size());
    if (ZSTD_isError(out) != 0 || out != text.size()) return std::nullopt;
    return text;
}

}  // namespace Norik::FullText
