#include "fulltext/FullTextQuery.h"

#include <xapian.h>

#include <charconv>
#include <vector>

#include "fulltext/FullTextIndex.h"
#include "fulltext/FullTextTerms.h"

namespace Norik::FullText {

namespace {

constexpr std::string_view kNumberSign = "\xE2\x84\x96";  // "№"

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsOperator(std::string_view word) {
    for (const std::string_view op : {"AND", "OR", "NOT", "XOR", "NEAR", "ADJ"})
        if (word == op || (word.starts_with(op) && word.size() > op.size() && word[op.size()] == '/')) return true;
    return false;
}

// Why the distance of NEAR/n or ADJ/n is refused, or empty: the parser takes any digits there,
// and one past its range wraps to a window nothing fits in.
std::string DistanceError(std::string_view word) {
    const std::size_t slash = word.find('/');
    if (slash == std::string_view::npos || !(word.starts_with("NEAR/") || word.starts_with("ADJ/"))) return {};
    const std::string_view digits = word.substr(slash + 1);
    if (digits.empty() || !IsDigit(digits.front())) return {};
    unsigned long long distance = 0;
    const auto [stop, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), distance);
    if (failure == std::errc() && distance >= 1 && distance <= kMaxNearDistance) return {};
    (void)stop;
    return std::string(word.substr(0, slash)) + "/" + std::string(digits) + ": the distance must be 1 to " +
           std::to_string(kMaxNearDistance) + " words";
}

// A word standing for "number" before the number itself: "№", "N", "No", "№.".
bool IsNumberSign(std::string_view word) { return word == kNumberSign || word == "N" || word == "No" || word == "№."; }

// The number after a sign written with it ("№131-ФЗ", "N131-ФЗ"), or empty.
std::string_view NumberAfterSign(std::string_view word) {
    for (const std::string_view sign : {kNumberSign, std::string_view("N")})
        if (word.size() > sign.size() && word.starts_with(sign) && IsDigit(word[sign.size()]))
            return word.substr(sign.size());
    return {};
}

bool IsYear(std::string_view word) {
    return word.size() == 4 && IsDigit(word[0]) && IsDigit(word[1]) && IsDigit(word[2]) && IsDigit(word[3]) &&
           (word.starts_with("19") || word.starts_with("20"));
}

struct Token {
    std::string_view lead;   // signs and opening brackets
    std::string_view core;   // the word itself
    std::string_view trail;  // closing brackets and punctuation
};

Token Split(std::string_view word) {
    Token token;
    std::size_t begin = 0;
    while (begin < word.size() && (word[begin] == '+' || word[begin] == '-' || word[begin] == '(')) ++begin;
    std::size_t end = word.size();
    while (end > begin && (word[end - 1] == ')' || word[end - 1] == ',' || word[end - 1] == ';')) --end;
    token.lead = word.substr(0, begin);
    token.core = word.substr(begin, end - begin);
    token.trail = word.substr(end);
    return token;
}

// One word outside quotes, as the parser is to read it; number: the word follows a sign "№".
std::string RewriteWord(const Token& token, bool number, std::vector<std::string>& values, std::string& errors) {
    std::string out(token.lead);
    const std::string_view core = token.core;
    const std::string_view afterSign = NumberAfterSign(core);
    const auto field = [&](const char* name, std::string_view value) {
        out.append(name).append(":v").append(std::to_string(values.size()));
        values.emplace_back(value);
    };
    if (core.find_first_of("\"():") != std::string_view::npos || IsOperator(core)) {
        if (std::string error = DistanceError(core); !error.empty() && errors.empty()) errors = std::move(error);
        out.append(core);
    } else if (!afterSign.empty()) {
        field(kQueryNumberField, afterSign);
    } else if (!number && DateKeyOfText(core)) {
        field(kQueryDateField, core);
    } else if (!number && IsYear(core)) {
        field(kQueryYearField, core);
    } else if (number || (!core.empty() && IsDigit(core.front()))) {
        field(kQueryNumberField, core);
    } else {
        out.append(LowerUtf8(core));
    }
    out.append(token.trail);
    return out;
}

}  // namespace

RewrittenQuery RewriteQuery(std::string_view query) {
    RewrittenQuery result;
    std::vector<std::string> out;
    std::size_t at = 0;
    bool afterSign = false;  // the last word was a sign "№" standing alone, held back
    Token sign;
    const auto giveSignBack = [&] {
        if (afterSign) out.push_back(std::string(sign.lead) + LowerUtf8(sign.core));
        afterSign = false;
    };
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (at < query.size()) {
        const char c = query[at];
        if (isBlank(c)) {
            ++at;
            continue;
        }
        if (c == '"') {
            giveSignBack();
            const std::size_t close = query.find('"', at + 1);
            const std::size_t end = close == std::string_view::npos ? query.size() : close + 1;
            out.emplace_back(query.substr(at, end - at));
            at = end;
            continue;
        }
        std::size_t end = at;
        while (end < query.size() && !isBlank(query[end]) && query[end] != '"') ++end;
        const Token token = Split(query.substr(at, end - at));
        at = end;
        if (IsNumberSign(token.core) && token.trail.empty()) {
            giveSignBack();
            afterSign = true;
            sign = token;
            continue;
        }
        if (afterSign && !token.core.empty() && IsDigit(token.core.front()) && token.lead.empty()) {
            Token merged = token;
            merged.lead = sign.lead;
            afterSign = false;
            out.push_back(RewriteWord(merged, true, result.values, result.error));
            continue;
        }
        giveSignBack();
        out.push_back(RewriteWord(token, false, result.values, result.error));
    }
    giveSignBack();
    for (const std::string& word : out) result.text.append(result.text.empty() ? "" : " ").append(word);
    return result;
}

std::string_view LimitQuery(std::string_view query, std::size_t& wordsLeftOut) {
    wordsLeftOut = 0;
    std::size_t words = 0;
    std::size_t cut = std::string_view::npos;
    std::size_t wordStart = 0;
    bool inWord = false;
    for (Xapian::Utf8Iterator it(query.data(), query.size()), end; it != end;) {
        const std::size_t at = static_cast<std::size_t>(it.raw() - query.data());
        const bool wordChar = Xapian::Unicode::is_wordchar(*it);
        ++it;
        const std::size_t after = it == end ? query.size() : static_cast<std::size_t>(it.raw() - query.data());
        if (!wordChar) {
            inWord = false;
            continue;
        }
        if (!inWord) {
            inWord = true;
            wordStart = at;
            if (cut == std::string_view::npos && words == kMaxQueryWords) cut = at;
            if (cut == std::string_view::npos)
                ++words;
            else
                ++wordsLeftOut;
        }
        // A word reaching past the bytes taken is left out whole.
        if (cut == std::string_view::npos && after > kMaxQueryBytes) {
            cut = wordStart;
            ++wordsLeftOut;
        }
    }
    if (cut == std::string_view::npos && query.size() > kMaxQueryBytes) {
        cut = kMaxQueryBytes;
        while (cut > 0 && (static_cast<unsigned char>(query[cut]) & 0xC0) == 0x80) --cut;
    }
    return cut == std::string_view::npos ? query : query.substr(0, cut);
}

}  // namespace Norik::FullText
