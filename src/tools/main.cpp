// norik-tool: the command line over the core (see ToolCommands.h).
#include <iostream>
#include <string>
#include <vector>

#include "tools/ToolCommands.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const int code = Norik::RunTool(arguments, std::cout, std::cerr);
    std::cout.flush();
    return code;
}
