// The command line of norik-tool, parsed without touching a base: the global options (--base DIR,
// --help), the command, and each command's positional arguments and "--name [value]" options.
// A command line that cannot be understood throws UsageError, whose message the tool prints as
// one line (exit status 64). Pure; any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Norik {

struct UsageError {
    std::string message;
};

// The option names one command takes: flags stand alone, valued options take the next argument.
struct CommandOptions {
    std::vector<std::string> flags;
    std::vector<std::string> valued;
};

// The options of a known command; nothing for an unknown one.
std::optional<CommandOptions> OptionsOfCommand(const std::string& command);

// The arguments of one command: positional ones and its options. An option given twice keeps
// the last value.
class Arguments {
public:
    Arguments(const std::vector<std::string>& items, const CommandOptions& options);
    bool Has(const std::string& name) const { return m_options.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const;
    const std::vector<std::string>& positional() const { return m_positional; }
    void ExpectPositional(std::size_t count, const char* what) const;

private:
    std::map<std::string, std::string> m_options;
    std::vector<std::string> m_positional;
};

// The whole command line split into its global part and the command with its own arguments.
struct ToolCommandLine {
    std::optional<std::string> base;  // --base DIR
    bool help = false;                // --help or -h: nothing else counts
    std::string command;
    std::vector<std::string> rest;  // the command's arguments, in order
};
ToolCommandLine SplitCommandLine(const std::vector<std::string>& arguments);

// A decimal integer from low to high, the whole text and nothing else; what names it in the
// message.
long long ParseInteger(const std::string& text, long long low, long long high, const char* what);

// "N,N,...": signed 16-bit numbers, empty items skipped; ascending and without duplicates.
std::vector<std::int16_t> ParseNumberList(const std::string& text, const char* what);

}  // namespace Norik
