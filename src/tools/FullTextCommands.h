// The commands of norik-tool that read or write the full-text index: search --quick, cited-by and
// fulltext, and build, sample and verify, which write or check it. Only they need the full-text
// library, and loading it costs every process a good part of a millisecond, as much as a whole
// word search takes; so the tool is two programs built from one dispatch (ToolCommands.cpp):
// norik-tool runs every other command itself and hands these over whole to norik-tool-full
// beside it, which runs them all. Each program gives its own RunFullTextCommand.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace Norik {

class Arguments;

// The program beside norik-tool that runs the commands of this header.
inline constexpr const char* kFullTextToolName = "norik-tool-full";

// Runs one of these commands (args parsed from arguments, the whole command line without the
// program name): the process exit code. A usage error throws UsageError, as for every command.
int RunFullTextCommand(const std::string& command, const Arguments& args, const std::vector<std::string>& arguments,
                       std::ostream& out, std::ostream& err);

}  // namespace Norik
