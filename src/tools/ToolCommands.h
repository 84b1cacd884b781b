// The commands of norik-tool, the command line over the core.
//
// RunTool parses the arguments (UTF-8), configures the folders (--base DIR sets the data and the
// index folder; without it the base is the folder "data/" beside the executable), runs one
// command and returns the process exit code. Output goes to out and err as UTF-8; every failure
// ends with a one-line message on err and a non-zero code; a command line that cannot be
// understood exits 64, apart from the 1 and 2 that search gives to its own outcomes. The model and the indexes are
// process-wide, so RunTool is meant to run once per process (tests run the executable).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace Norik {

int RunTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace Norik
