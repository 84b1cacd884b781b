#include "tools/ToolArguments.h"

#include <algorithm>
#include <optional>

#include "Helpers/DecimalText.h"

namespace Norik {

std::optional<CommandOptions> OptionsOfCommand(const std::string& command) {
    static const std::map<std::string, CommandOptions> commands = {
        {"info", {}},
        {"classifier", {}},
        {"list", {{"--descending"}, {"--sort"}}},
        {"search",
         {{"--any", "--passages"},
          {"--section", "--type", "--number", "--title", "--text", "--status", "--within", "--date-from", "--date-to",
           "--quick", "--limit"}}},
        {"cited-by", {}},
        {"fulltext", {{"--if-stale"}, {}}},
        {"cat", {{"--rtf", "--text", "--html"}, {}}},
        {"card", {}},
        {"links", {}},
        {"verify", {}},
        {"build", {}},
        {"sample", {{"--large", "--source"}, {"--documents", "--seed", "--vocabulary"}}},
    };
    const auto found = commands.find(command);
    if (found == commands.end()) return std::nullopt;
    return found->second;
}

Arguments::Arguments(const std::vector<std::string>& items, const CommandOptions& options) {
    const auto names = [](const std::vector<std::string>& list, const std::string& item) {
        return std::find(list.begin(), list.end(), item) != list.end();
    };
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& item = items[i];
        if (item.rfind("--", 0) == 0 && item.size() > 2) {
            if (names(options.flags, item)) {
                m_options[item] = "";
            } else if (names(options.valued, item)) {
                if (i + 1 >= items.size()) throw UsageError{item + " needs a value"};
                m_options[item] = items[++i];
            } else {
                throw UsageError{"unknown option " + item};
            }
        } else {
            m_positional.push_back(item);
        }
    }
}

std::optional<std::string> Arguments::Value(const std::string& name) const {
    const auto it = m_options.find(name);
    return it == m_options.end() ? std::nullopt : std::optional<std::string>(it->second);
}

void Arguments::ExpectPositional(std::size_t count, const char* what) const {
    if (m_positional.size() != count) throw UsageError{std::string("expected ") + what};
}

ToolCommandLine SplitCommandLine(const std::vector<std::string>& arguments) {
    ToolCommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--base") {
            if (i + 1 >= arguments.size()) throw UsageError{"--base needs a folder"};
            line.base = arguments[++i];
        } else if (arguments[i] == "--help" || arguments[i] == "-h") {
            line.help = true;
            return line;
        } else {
            line.rest.push_back(arguments[i]);
        }
    }
    if (line.rest.empty()) throw UsageError{"no command given"};
    line.command = line.rest.front();
    line.rest.erase(line.rest.begin());
    return line;
}

long long ParseInteger(const std::string& text, long long low, long long high, const char* what) {
    const std::optional<long long> value = ParseDecimal(text, low, high);
    if (!value)
        throw UsageError{std::string(what) + " must be an integer from " + std::to_string(low) + " to " +
                         std::to_string(high) + ": " + text};
    return *value;
}

std::vector<std::int16_t> ParseNumberList(const std::string& text, const char* what) {
    std::vector<std::int16_t> numbers;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = text.substr(start, comma - start);
        if (!item.empty()) numbers.push_back(static_cast<std::int16_t>(ParseInteger(item, -32768, 32767, what)));
        start = comma + 1;
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

}  // namespace Norik
