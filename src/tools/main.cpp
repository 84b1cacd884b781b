// norik-tool: the command line over the core (see ToolCommands.h).
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/ToolCommands.h"
#include "tools/ToolCommon.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    // What goes to a terminal shows the base's control characters instead of obeying them; a pipe
    // or a file gets the bytes as they are.
    Norik::TerminalEscapes outEscapes(std::cout.rdbuf());
    Norik::TerminalEscapes errEscapes(std::cerr.rdbuf());
    std::ostream out(::isatty(STDOUT_FILENO) ? &outEscapes : std::cout.rdbuf());
    std::ostream err(::isatty(STDERR_FILENO) ? &errEscapes : std::cerr.rdbuf());
    const int code = Norik::RunTool(arguments, out, err);
    out.flush();
    err.flush();
    std::cout.flush();
    return code;
}
