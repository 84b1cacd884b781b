#include "fulltext/FullTextQuery.h"

#include <vector>

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
std::string RewriteWord(const Token& token, bool number, std::vector<std::string>& values) {
    std::string out(token.lead);
    const std::string_view core = token.core;
    const std::string_view afterSign = NumberAfterSign(core);
    const auto field = [&](const char* name, std::string_view value) {
        out.append(name).append(":v").append(std::to_string(values.size()));
        values.emplace_back(value);
    };
    if (core.find_first_of("\"():") != std::string_view::npos) {
        out.append(core);
    } else if (!afterSign.empty()) {
        field(kQueryNumberField, afterSign);
    } else if (!number && DateKeyOfText(core)) {
        field(kQueryDateField, core);
    } else if (!number && IsYear(core)) {
        field(kQueryYearField, core);
    } else if (number || (!core.empty() && IsDigit(core.front()))) {
        field(kQueryNumberField, core);
    } else if (IsOperator(core)) {
        out.append(core);
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
            out.push_back(RewriteWord(merged, true, result.values));
            continue;
        }
        giveSignBack();
        out.push_back(RewriteWord(token, false, result.values));
    }
    giveSignBack();
    for (const std::string& word : out) result.text.append(result.text.empty() ? "" : " ").append(word);
    return result;
}

}  // namespace Norik::FullText
