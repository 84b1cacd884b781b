#include "diagnostics/SymbolName.h"

#include <cstring>
#include <string_view>

#include "diagnostics/FixedText.h"

namespace Norik {

namespace {

// Bounds against hostile or merely huge names: past any of them the name is given back raw.
constexpr int kMaxDepth = 40;
constexpr int kMaxSubstitutions = 64;
constexpr int kMaxTemplateArgs = 24;
constexpr int kMaxHidden = 4;
constexpr std::size_t kWorkSize = 2048;
constexpr std::size_t kMaxSymbolLength = 4096;

struct Range {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool empty() const { return begin == end; }
};

// What the caller of a name needs to know about it.
struct NameInfo {
    std::string_view className;  // the name a constructor or destructor repeats
    bool endsWithTemplateArgs = false;
    bool isConstructorOrConversion = false;  // no return type is mangled for these templates
    bool constMember = false;
    bool volatileMember = false;
};

struct Code {
    const char* code;
    const char* text;
};

// clang-format off
constexpr Code kBuiltinTypes[] = {
    {"v", "void"}, {"w", "wchar_t"}, {"b", "bool"}, {"c", "char"}, {"a", "signed char"}, {"h", "unsigned char"},
    {"s", "short"}, {"t", "unsigned short"}, {"i", "int"}, {"j", "unsigned int"}, {"l", "long"},
    {"m", "unsigned long"}, {"x", "long long"}, {"y", "unsigned long long"}, {"n", "__int128"},
    {"o", "unsigned __int128"}, {"f", "float"}, {"d", "double"}, {"e", "long double"}, {"g", "__float128"},
    {"z", "..."}, {"Dn", "decltype(nullptr)"}, {"Di", "char32_t"}, {"Ds", "char16_t"}, {"Du", "char8_t"},
    {"Da", "auto"}, {"Dc", "decltype(auto)"},
};
// clang-format on

constexpr Code kOperators[] = {
    {"nw", "new"},      {"na", "new[]"}, {"dl", "delete"}, {"da", "delete[]"}, {"ps", "+"},   {"ng", "-"},
    {"ad", "&"},        {"de", "*"},     {"co", "~"},      {"pl", "+"},        {"mi", "-"},   {"ml", "*"},
    {"dv", "/"},        {"rm", "%"},     {"an", "&"},      {"or", "|"},        {"eo", "^"},   {"aS", "="},
    {"pL", "+="},       {"mI", "-="},    {"mL", "*="},     {"dV", "/="},       {"rM", "%="},  {"aN", "&="},
    {"oR", "|="},       {"eO", "^="},    {"ls", "<<"},     {"rs", ">>"},       {"lS", "<<="}, {"rS", ">>="},
    {"eq", "=="},       {"ne", "!="},    {"lt", "<"},      {"gt", ">"},        {"le", "<="},  {"ge", ">="},
    {"ss", "<=>"},      {"nt", "!"},     {"aa", "&&"},     {"oo", "||"},       {"pp", "++"},  {"mm", "--"},
    {"cm", ","},        {"pm", "->*"},   {"pt", "->"},     {"cl", "()"},       {"ix", "[]"},  {"qu", "?"},
    {"aw", "co_await"},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }

// A recursive-descent reader of one mangled name. Output goes to one working buffer that is
// never cut back, so every earlier component can be repeated by copying its range: a
// substitution ("S0_") or a template parameter ("T_") prints the text its component printed.
// Text that belongs to the mangling but not to the name we show (the return type of a function
// template that encloses a local name) is printed too, to keep those ranges right, and marked
// hidden. Every reading function returns false on a form it does not know; the caller then gives
// the name back raw.
class Demangler {
public:
    Demangler(std::string_view input, char* work, std::size_t size) : m_in(input), m_out(work, size) {}

    bool Run() { return ParseEncoding(Mode::Top) && !m_out.overflowed(); }

    // Copies the text shown (the working text without the hidden ranges).
    void CopyVisible(FixedText& to) const {
        const std::string_view all = m_out.view();
        std::size_t at = 0;
        for (int i = 0; i < m_hiddenCount; ++i) {
            to.Append(all.substr(at, m_hidden[i].begin - at));
            at = m_hidden[i].end;
        }
        to.Append(all.substr(at));
    }

private:
    // Top: the name alone. Enclosing: the function a local name lives in, with its parameters.
    enum class Mode { Top, Enclosing };

    class DepthGuard {
    public:
        explicit DepthGuard(int& depth) : m_depth(depth) { ++m_depth; }
        ~DepthGuard() { --m_depth; }
        bool ok() const { return m_depth <= kMaxDepth; }

    private:
        int& m_depth;
    };

    char Peek(std::size_t ahead = 0) const { return m_pos + ahead < m_in.size() ? m_in[m_pos + ahead] : '\0'; }
    bool AtEnd() const { return m_pos >= m_in.size(); }
    bool Consume(char c) {
        if (Peek() != c) return false;
        ++m_pos;
        return true;
    }
    std::string_view Text(Range range) const { return m_out.view().substr(range.begin, range.end - range.begin); }

    bool AddSubstitution(std::size_t begin) {
        if (m_substitutionCount == kMaxSubstitutions) return false;
        m_substitutions[m_substitutionCount++] = {begin, m_out.size()};
        return true;
    }

    bool ParseNumber(std::size_t& value) {
        if (!IsDigit(Peek())) return false;
        value = 0;
        for (int digits = 0; IsDigit(Peek()); ++digits) {
            if (digits == 9) return false;
            value = value * 10 + static_cast<std::size_t>(Peek() - '0');
            ++m_pos;
        }
        return true;
    }

    // <number> in a discriminator or a lambda index: digits, then "_".
    bool ParseOptionalNumberThenUnderscore(std::size_t& value, bool& present) {
        present = IsDigit(Peek());
        if (present && !ParseNumber(value)) return false;
        return Consume('_');
    }

    bool ParseSourceName(NameInfo* info) {
        std::size_t length = 0;
        if (!ParseNumber(length) || length == 0 || length > m_in.size() - m_pos) return false;
        const std::string_view identifier = m_in.substr(m_pos, length);
        m_pos += length;
        const std::size_t begin = m_out.size();
        if (identifier.starts_with("_GLOBAL__N")) {
            m_out.Append("(anonymous namespace)");
        } else {
            m_out.Append(identifier);
        }
        if (info) info->className = Text({begin, m_out.size()});
        return true;
    }

    bool ParseAbiTags() {
        while (Consume('B')) {
            m_out.Append("[abi:");
            if (!ParseSourceName(nullptr)) return false;
            m_out.Append(']');
        }
        return true;
    }

    bool ParseOperatorName(NameInfo& info) {
        const char first = Peek();
        const char second = Peek(1);
        if (first == 'c' && second == 'v') {
            m_pos += 2;
            m_out.Append("operator ");
            info.isConstructorOrConversion = true;
            return ParseType();
        }
        if (first == 'l' && second == 'i') {
            m_pos += 2;
            m_out.Append("operator\"\" ");
            return ParseSourceName(nullptr);
        }
        for (const Code& op : kOperators) {
            if (op.code[0] == first && op.code[1] == second) {
                m_pos += 2;
                m_out.Append("operator");
                if (IsLower(op.text[0])) m_out.Append(' ');
                m_out.Append(op.text);
                return true;
            }
        }
        return false;
    }

    bool ParseConstructorOrDestructor(NameInfo& info) {
        const char kind = Peek();
        const char variant = Peek(1);
        if (kind == 'C' && !(variant >= '1' && variant <= '5')) return false;
        if (kind == 'D' && !(variant == '0' || variant == '1' || variant == '2' || variant == '4' || variant == '5')) {
            return false;
        }
        if (info.className.empty()) return false;
        m_pos += 2;
        if (kind == 'D') m_out.Append('~');
        m_out.Append(info.className);
        info.isConstructorOrConversion = true;
        return true;
    }

    // "{lambda(int)#2}", "{unnamed type#1}".
    bool ParseUnnamedTypeName() {
        std::size_t index = 0;
        bool present = false;
        if (Peek(1) == 't') {
            m_pos += 2;
            if (!ParseOptionalNumberThenUnderscore(index, present)) return false;
            m_out.Append("{unnamed type#").AppendDecimal(present ? static_cast<std::int64_t>(index) + 2 : 1);
            m_out.Append('}');
            return true;
        }
        if (Peek(1) != 'l') return false;
        m_pos += 2;
        m_out.Append("{lambda");
        if (!ParseParameters()) return false;
        if (!Consume('E') || !ParseOptionalNumberThenUnderscore(index, present)) return false;
        m_out.Append('#').AppendDecimal(present ? static_cast<std::int64_t>(index) + 2 : 1).Append('}');
        return true;
    }

    bool ParseUnqualifiedName(NameInfo& info) {
        const char c = Peek();
        info.isConstructorOrConversion = false;
        bool ok = false;
        if (IsDigit(c)) {
            ok = ParseSourceName(&info);
        } else if (c == 'L') {  // internal linkage
            ++m_pos;
            ok = ParseSourceName(&info);
        } else if (c == 'C' || (c == 'D' && IsDigit(Peek(1)))) {
            ok = ParseConstructorOrDestructor(info);
        } else if (c == 'U') {
            ok = ParseUnnamedTypeName();
        } else if (IsLower(c)) {
            ok = ParseOperatorName(info);
        }
        return ok && ParseAbiTags();
    }

    // The class name inside copied text ("std::vector<int>" gives "vector"), for a constructor
    // that follows a substitution.
    static std::string_view LastIdentifierOf(std::string_view text) {
        int depth = 0;
        std::size_t start = 0;
        std::size_t end = text.size();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '<') {
                if (depth == 0) end = i;
                ++depth;
            } else if (text[i] == '>') {
                --depth;
            } else if (depth == 0 && text[i] == ':' && i + 1 < text.size() && text[i + 1] == ':') {
                start = i + 2;
                end = text.size();
                ++i;
            }
        }
        return text.substr(start, end > start ? end - start : 0);
    }

    // S_, S<seq-id>_ and the abbreviations of the standard library.
    bool ParseSubstitution(NameInfo* info) {
        if (!Consume('S')) return false;
        const std::size_t begin = m_out.size();
        const char c = Peek();
        // The abbreviation as printed, and the class name its constructors carry.
        const char* abbreviation = nullptr;
        const char* className = nullptr;
        switch (c) {
            case 'a':
                abbreviation = className = "allocator";
                break;
            case 'b':
                abbreviation = className = "basic_string";
                break;
            case 's':
                abbreviation = "string", className = "basic_string";
                break;
            case 'i':
                abbreviation = "istream", className = "basic_istream";
                break;
            case 'o':
                abbreviation = "ostream", className = "basic_ostream";
                break;
            case 'd':
                abbreviation = "iostream", className = "basic_iostream";
                break;
            default:
                break;
        }
        if (abbreviation) {
            ++m_pos;
            m_out.Append("std::").Append(abbreviation);
            if (info) info->className = className;
            return true;
        }
        std::size_t index = 0;
        if (!Consume('_')) {
            std::size_t value = 0;
            for (int digits = 0; !Consume('_'); ++digits) {
                const char d = Peek();
                if (digits == 6 || !(IsDigit(d) || IsUpper(d))) return false;
                value = value * 36 + static_cast<std::size_t>(IsDigit(d) ? d - '0' : d - 'A' + 10);
                ++m_pos;
            }
            index = value + 1;
        }
        if (index >= static_cast<std::size_t>(m_substitutionCount)) return false;
        m_out.Append(Text(m_substitutions[index]));
        if (info) info->className = LastIdentifierOf(Text({begin, m_out.size()}));
        return true;
    }

    bool ParseTemplateParam() {
        if (!Consume('T')) return false;
        std::size_t index = 0;
        if (!Consume('_')) {
            std::size_t value = 0;
            if (!ParseNumber(value) || !Consume('_')) return false;
            index = value + 1;
        }
        if (index >= static_cast<std::size_t>(m_templateArgCount)) return false;
        m_out.Append(Text(m_templateArgs[index]));
        return true;
    }

    // Template arguments of a name (outside any type) are the ones "T_" refers to later.
    bool ParseTemplateArgs() {
        if (!Consume('I')) return false;
        const bool recordForParams = m_typeDepth == 0;
        if (!m_out.view().empty() && m_out.view().back() == '<') m_out.Append(' ');
        m_out.Append('<');
        Range args[kMaxTemplateArgs];
        int count = 0;
        while (!Consume('E')) {
            if (AtEnd() || count == kMaxTemplateArgs) return false;
            if (count > 0) m_out.Append(", ");
            const std::size_t begin = m_out.size();
            if (!ParseTemplateArg()) return false;
            args[count++] = {begin, m_out.size()};
        }
        if (!m_out.view().empty() && m_out.view().back() == '>') m_out.Append(' ');
        m_out.Append('>');
        if (recordForParams) {
            for (int i = 0; i < count; ++i) m_templateArgs[i] = args[i];
            m_templateArgCount = count;
        }
        return true;
    }

    bool ParseTemplateArg() {
        const char c = Peek();
        if (c == 'L') return ParseLiteral();
        if (c == 'J') {  // argument pack
            ++m_pos;
            for (bool first = true; !Consume('E'); first = false) {
                if (AtEnd()) return false;
                if (!first) m_out.Append(", ");
                if (!ParseTemplateArg()) return false;
            }
            return true;
        }
        if (c == 'X') return false;  // expressions are beyond this reader
        return ParseType();
    }

    // L <type> <value> E, L _Z <encoding> E.
    bool ParseLiteral() {
        if (!Consume('L')) return false;
        if (Peek() == '_' && Peek(1) == 'Z') {
            m_pos += 2;
            return ParseEncoding(Mode::Enclosing) && Consume('E');
        }
        const char type = Peek();
        const char* suffix = nullptr;
        bool isBool = false;
        switch (type) {
            case 'b':
                isBool = true;
                break;
            case 'i':
                suffix = "";
                break;
            case 'j':
                suffix = "u";
                break;
            case 'l':
                suffix = "l";
                break;
            case 'm':
                suffix = "ul";
                break;
            case 'x':
                suffix = "ll";
                break;
            case 'y':
                suffix = "ull";
                break;
            default:
                break;
        }
        if (isBool || suffix) {
            ++m_pos;
        } else {
            m_out.Append('(');
            if (!ParseType()) return false;
            m_out.Append(')');
        }
        const std::size_t valueBegin = m_pos;
        if (Consume('n')) m_out.Append('-');
        while (!AtEnd() && Peek() != 'E') {
            const char c = Peek();
            if (!(IsDigit(c) || IsLower(c))) return false;
            if (!isBool) m_out.Append(c);
            ++m_pos;
        }
        if (m_pos == valueBegin || !Consume('E')) return false;
        if (isBool) {
            const std::string_view value = m_in.substr(valueBegin, m_pos - 1 - valueBegin);
            if (value == "0") {
                m_out.Append("false");
            } else if (value == "1") {
                m_out.Append("true");
            } else {
                return false;
            }
        } else if (suffix) {
            m_out.Append(suffix);
        }
        return true;
    }

    bool ParseBuiltinType() {
        for (const Code& builtin : kBuiltinTypes) {
            const std::size_t length = std::strlen(builtin.code);
            if (m_in.substr(m_pos, length) == builtin.code) {
                m_pos += length;
                m_out.Append(builtin.text);
                return true;
            }
        }
        return false;
    }

    bool ParseType() {
        DepthGuard guard(m_depth);
        if (!guard.ok()) return false;
        ++m_typeDepth;
        const bool ok = ParseTypeBody();
        --m_typeDepth;
        return ok;
    }

    bool ParseTypeBody() {
        const std::size_t begin = m_out.size();
        const char c = Peek();
        if (ParseBuiltinType()) return true;
        switch (c) {
            case 'u':  // vendor type
                ++m_pos;
                return ParseSourceName(nullptr) && AddSubstitution(begin);
            case 'D':
                if (Peek(1) != 'p') return false;
                m_pos += 2;
                if (!ParseType()) return false;
                m_out.Append("...");
                return AddSubstitution(begin);
            case 'r':
            case 'V':
            case 'K': {
                const bool isRestrict = Consume('r');
                const bool isVolatile = Consume('V');
                const bool isConst = Consume('K');
                if (!ParseType()) return false;
                if (isConst) m_out.Append(" const");
                if (isVolatile) m_out.Append(" volatile");
                if (isRestrict) m_out.Append(" restrict");
                return AddSubstitution(begin);
            }
            case 'P':
            case 'R':
            case 'O':
                // Pointers and references to functions and arrays print around the inner type,
                // "void (*)()", "char (&) [4]"; not read here.
                if (Peek(1) == 'F' || Peek(1) == 'A') return false;
                ++m_pos;
                if (!ParseType()) return false;
                m_out.Append(c == 'P' ? "*" : c == 'R' ? "&" : "&&");
                return AddSubstitution(begin);
            case 'S':
                if (Peek(1) == 't') {
                    m_pos += 2;
                    m_out.Append("std::");
                    NameInfo info;
                    if (!ParseUnqualifiedName(info)) return false;
                    if (Peek() == 'I' && !(AddSubstitution(begin) && ParseTemplateArgs())) return false;
                    return AddSubstitution(begin);
                }
                if (!ParseSubstitution(nullptr)) return false;
                if (Peek() != 'I') return true;
                return ParseTemplateArgs() && AddSubstitution(begin);
            case 'T':
                if (!ParseTemplateParam() || !AddSubstitution(begin)) return false;
                if (Peek() != 'I') return true;
                return ParseTemplateArgs() && AddSubstitution(begin);
            case 'N': {
                NameInfo info;
                return ParseNestedName(info) && AddSubstitution(begin);
            }
            case 'A': {  // an array type, as in "char [10]"
                if (Peek(1) == '_') {
                    m_pos += 2;
                    if (!ParseType()) return false;
                    m_out.Append(" []");
                    return AddSubstitution(begin);
                }
                ++m_pos;
                std::size_t dimension = 0;
                if (!ParseNumber(dimension) || !Consume('_') || !ParseType()) return false;
                m_out.Append(" [").AppendDecimal(static_cast<std::int64_t>(dimension)).Append(']');
                return AddSubstitution(begin);
            }
            case 'Z': {  // a type local to a function, such as a lambda passed to an algorithm
                NameInfo info;
                return ParseLocalName(info) && AddSubstitution(begin);
            }
            case 'F':  // a function type, as in std::function<bool (int)>
                ++m_pos;
                Consume('Y');
                if (!ParseType()) return false;
                m_out.Append(' ');
                return ParseParameters() && Consume('E') && AddSubstitution(begin);
            default:
                if (!IsDigit(c)) return false;  // function, array and member types among others
                if (!ParseSourceName(nullptr)) return false;
                if (Peek() == 'I' && !(AddSubstitution(begin) && ParseTemplateArgs())) return false;
                return AddSubstitution(begin);
        }
    }

    // "(int, char const*)"; a lone "v" means no parameters. Stops before "E" or at the end.
    bool ParseParameters() {
        m_out.Append('(');
        if (Peek() == 'v' && (Peek(1) == 'E' || Peek(1) == '\0')) {
            ++m_pos;
        } else {
            for (bool first = true; !AtEnd() && Peek() != 'E'; first = false) {
                if (!first) m_out.Append(", ");
                if (!ParseType()) return false;
            }
        }
        m_out.Append(')');
        return true;
    }

    // N [cv] [ref] <prefix components> E. Every proper prefix is a substitution candidate: it is
    // added when the next component starts, so the full name (a function, or a type that its
    // caller adds) is not.
    bool ParseNestedName(NameInfo& info) {
        if (!Consume('N')) return false;
        Consume('r');
        info.volatileMember = Consume('V');
        info.constMember = Consume('K');
        if (!Consume('R')) Consume('O');
        const std::size_t begin = m_out.size();
        bool pending = false;
        bool first = true;
        while (!Consume('E')) {
            if (AtEnd()) return false;
            const char c = Peek();
            if (c == 'I') {
                if (first || (pending && !AddSubstitution(begin)) || !ParseTemplateArgs()) return false;
                info.endsWithTemplateArgs = true;
                pending = true;
                continue;
            }
            if (pending && !AddSubstitution(begin)) return false;
            pending = false;
            if (!first) m_out.Append("::");
            info.endsWithTemplateArgs = false;
            if (c == 'S' && Peek(1) == 't') {
                m_pos += 2;
                m_out.Append("std");
            } else if (c == 'S') {
                if (!ParseSubstitution(&info)) return false;
            } else if (c == 'T') {
                if (!ParseTemplateParam()) return false;
                pending = true;
            } else {
                if (!ParseUnqualifiedName(info)) return false;
                pending = true;
            }
            first = false;
        }
        return !first;
    }

    // Z <encoding> E <entity> [<discriminator>]: "Norik::Run(int)::{lambda()#1}::operator()".
    bool ParseLocalName(NameInfo& info) {
        if (!Consume('Z') || !ParseEncoding(Mode::Enclosing) || !Consume('E')) return false;
        m_out.Append("::");
        if (Consume('s')) {
            m_out.Append("string literal");
        } else {
            if (Peek() == 'd') return false;  // default arguments
            if (!ParseName(info)) return false;
        }
        // The discriminator tells apart entities of the same name in one function; not shown.
        if (!Consume('_')) return true;
        std::size_t ignored = 0;
        if (Consume('_')) return ParseNumber(ignored) && Consume('_');
        if (!IsDigit(Peek())) return false;
        ++m_pos;
        return true;
    }

    bool ParseName(NameInfo& info) {
        DepthGuard guard(m_depth);
        if (!guard.ok()) return false;
        const char c = Peek();
        if (c == 'N') return ParseNestedName(info);
        if (c == 'Z') return ParseLocalName(info);
        const std::size_t begin = m_out.size();
        if (c == 'S' && Peek(1) == 't') {
            m_pos += 2;
            m_out.Append("std::");
            if (!ParseUnqualifiedName(info)) return false;
        } else if (c == 'S') {
            // A substitution names a template here; its arguments follow.
            if (!ParseSubstitution(&info) || Peek() != 'I') return false;
            info.endsWithTemplateArgs = true;
            return ParseTemplateArgs();
        } else if (!ParseUnqualifiedName(info)) {
            return false;
        }
        if (Peek() != 'I') return true;
        info.endsWithTemplateArgs = true;
        return AddSubstitution(begin) && ParseTemplateArgs();
    }

    bool ParseCallOffset() {
        std::size_t ignored = 0;
        Consume('n');
        return ParseNumber(ignored) && Consume('_');
    }

    bool ParseSpecialName(Mode mode) {
        const char first = Peek();
        const char second = Peek(1);
        m_pos += 2;
        if (first == 'G') {
            if (second != 'V') return false;
            NameInfo info;
            m_out.Append("guard variable for ");
            return ParseName(info);
        }
        switch (second) {
            case 'V':
                m_out.Append("vtable for ");
                return ParseType();
            case 'T':
                m_out.Append("VTT for ");
                return ParseType();
            case 'I':
                m_out.Append("typeinfo for ");
                return ParseType();
            case 'S':
                m_out.Append("typeinfo name for ");
                return ParseType();
            case 'h':
                m_out.Append("non-virtual thunk to ");
                return ParseCallOffset() && ParseEncoding(mode);
            case 'v':
                m_out.Append("virtual thunk to ");
                return ParseCallOffset() && ParseCallOffset() && ParseEncoding(mode);
            case 'H':
            case 'W': {
                m_out.Append(second == 'H' ? "TLS init function for " : "TLS wrapper function for ");
                NameInfo info;
                return ParseName(info);
            }
            default:
                return false;
        }
    }

    bool ParseEncoding(Mode mode) {
        DepthGuard guard(m_depth);
        if (!guard.ok()) return false;
        if (Peek() == 'T' || Peek() == 'G') return ParseSpecialName(mode);
        if (mode == Mode::Top) return ParseFunctionEncoding(mode);
        // Inside an enclosing function "T_" means that function's own template arguments; the
        // outer ones apply again after it.
        Range savedArgs[kMaxTemplateArgs];
        const int savedCount = m_templateArgCount;
        for (int i = 0; i < savedCount; ++i) savedArgs[i] = m_templateArgs[i];
        const int savedTypeDepth = m_typeDepth;
        m_typeDepth = 0;
        const bool ok = ParseFunctionEncoding(mode);
        m_typeDepth = savedTypeDepth;
        for (int i = 0; i < savedCount; ++i) m_templateArgs[i] = savedArgs[i];
        m_templateArgCount = savedCount;
        return ok;
    }

    bool ParseFunctionEncoding(Mode mode) {
        NameInfo info;
        if (!ParseName(info)) return false;
        if (mode == Mode::Top || AtEnd() || Peek() == 'E') return true;
        if (info.endsWithTemplateArgs && !info.isConstructorOrConversion) {
            // The return type of a function template: read, kept for later references, not shown.
            const std::size_t begin = m_out.size();
            if (!ParseType() || m_hiddenCount == kMaxHidden) return false;
            m_hidden[m_hiddenCount++] = {begin, m_out.size()};
        }
        if (!ParseParameters()) return false;
        if (info.constMember) m_out.Append(" const");
        if (info.volatileMember) m_out.Append(" volatile");
        return true;
    }

    std::string_view m_in;
    std::size_t m_pos = 0;
    FixedText m_out;
    Range m_substitutions[kMaxSubstitutions];
    int m_substitutionCount = 0;
    Range m_templateArgs[kMaxTemplateArgs];
    int m_templateArgCount = 0;
    Range m_hidden[kMaxHidden];
    int m_hiddenCount = 0;
    int m_depth = 0;
    int m_typeDepth = 0;
};

// ".isra.0.cold" becomes " [clone .isra.0] [clone .cold]": each clone is a dot and a word,
// followed by any numbered parts.
void AppendCloneSuffixes(std::string_view suffixes, FixedText& to) {
    std::size_t at = 0;
    while (at < suffixes.size()) {
        std::size_t end = at + 1;
        while (end < suffixes.size() && suffixes[end] != '.') ++end;
        while (end + 1 < suffixes.size() && suffixes[end] == '.' && IsDigit(suffixes[end + 1])) {
            ++end;
            while (end < suffixes.size() && suffixes[end] != '.') ++end;
        }
        to.Append(" [clone ").Append(suffixes.substr(at, end - at)).Append(']');
        at = end;
    }
}

}  // namespace

std::size_t DemangleSymbol(const char* symbol, char* out, std::size_t capacity) {
    FixedText result(out, capacity);
    if (!symbol) return 0;
    const std::string_view whole(symbol, strnlen(symbol, kMaxSymbolLength));
    if (whole.starts_with("_Z")) {
        // Compiler clones carry a suffix after the first dot: "name.cold", "name.isra.0".
        const std::size_t dot = whole.find('.');
        const std::string_view mangled = whole.substr(2, dot == std::string_view::npos ? whole.npos : dot - 2);
        char work[kWorkSize];
        Demangler demangler(mangled, work, sizeof work);
        if (demangler.Run()) {
            demangler.CopyVisible(result);
            AppendCloneSuffixes(dot == std::string_view::npos ? std::string_view() : whole.substr(dot), result);
            return result.size();
        }
    }
    result.Append(whole);
    return result.size();
}

}  // namespace Norik
