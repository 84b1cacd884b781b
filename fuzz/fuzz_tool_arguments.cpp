// libFuzzer target: the command-line parser of norik-tool. The input is the argument list, one
// argument per NUL-separated part; every number an accepted command line carries is parsed as the
// commands parse it. Nothing may be accepted that the input did not hold, and number lists come
// back ascending and without duplicates.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/ToolArguments.h"

namespace {

bool Holds(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

void ParseNumbers(const Norik::Arguments& args) {
    for (const std::string& item : args.positional()) {
        try {
            const long long value = Norik::ParseInteger(item, -32768, 32767, "NUMBER");
            if (value < -32768 || value > 32767) __builtin_trap();
        } catch (const Norik::UsageError&) {
        }
    }
    for (const char* name : {"--section", "--documents", "--seed"}) {
        if (const auto value = args.Value(name)) {
            try {
                if (Norik::ParseInteger(*value, 0, 9223372036854775807LL, name) < 0) __builtin_trap();
            } catch (const Norik::UsageError&) {
            }
        }
    }
    if (const auto value = args.Value("--within")) {
        try {
            const std::vector<std::int16_t> numbers = Norik::ParseNumberList(*value, "--within");
            if (std::adjacent_find(numbers.begin(), numbers.end(), [](auto a, auto b) { return a >= b; }) !=
                numbers.end())
                __builtin_trap();
            if (numbers.size() > value->size() / 2 + 1) __builtin_trap();
        } catch (const Norik::UsageError&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            arguments.emplace_back();
        else
            arguments.back().push_back(static_cast<char>(data[i]));
    }
    Norik::ToolCommandLine line;
    try {
        line = Norik::SplitCommandLine(arguments);
    } catch (const Norik::UsageError& e) {
        if (e.message.empty()) __builtin_trap();
        return 0;
    }
    if (line.help) return 0;
    if (line.rest.size() + 1 > arguments.size() || !Holds(arguments, line.command)) __builtin_trap();
    if (line.base && !Holds(arguments, *line.base)) __builtin_trap();
    const auto options = Norik::OptionsOfCommand(line.command);
    if (!options) return 0;
    try {
        const Norik::Arguments args(line.rest, *options);
        if (args.positional().size() > line.rest.size()) __builtin_trap();
        for (const std::string& item : args.positional())
            if (!Holds(line.rest, item)) __builtin_trap();
        for (const std::string& name : options->valued)
            if (const auto value = args.Value(name); value && !Holds(line.rest, *value)) __builtin_trap();
        ParseNumbers(args);
    } catch (const Norik::UsageError& e) {
        if (e.message.empty()) __builtin_trap();
    }
    return 0;
}
