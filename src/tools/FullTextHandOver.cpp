// norik-tool's side of the commands of the full-text index: the command line goes whole to the
// program that runs them, norik-tool-full beside this one, which takes over the process (its exit
// status is the tool's).
#include <unistd.h>

#include <cerrno>
#include <ostream>
#include <system_error>

#include "Helpers/Folders.h"
#include "tools/FullTextCommands.h"
#include "tools/ToolCommon.h"

namespace Norik {

int RunFullTextCommand(const std::string&, const Arguments&, const std::vector<std::string>& arguments,
                       std::ostream& out, std::ostream& err) {
    // The program beside this one wherever it is installed, however long the path.
    const std::string folder = FolderOf(ExecutablePath());
    std::string program = folder + kFullTextToolName;
    std::vector<std::string> items(arguments);
    std::vector<char*> argv{program.data()};
    for (std::string& item : items) argv.push_back(item.data());
    argv.push_back(nullptr);
    out.flush();
    err.flush();
    if (!folder.empty()) execv(program.c_str(), argv.data());
    const int error = folder.empty() ? ENOENT : errno;
    err << "norik-tool: " << program << " cannot be started: " << std::generic_category().message(error)
        << " (it runs the commands that read or write the full-text index)\n";
    return kExitFailure;
}

}  // namespace Norik
