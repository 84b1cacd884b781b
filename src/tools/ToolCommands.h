// The commands of norik-tool, the command line over the core.
//
// RunTool parses the arguments (UTF-8), configures the folders (--base DIR sets the data and the
// index folder; without it the base is the folder "data/" beside the executable), runs one
// command and returns the process exit code. Output goes to out and err as UTF-8; every failure
// is one line on err. Exit statuses (also listed by --help):
//   0  done;
//   1  a failure (no base in the folder, no such document, a build refused), or for search
//      nothing found ("По Вашему запросу ничего не найдено!");
//   2  search without any criterion ("Не заданы реквизиты поиска!");
//   3  the answer rests on damaged data of the base - a table cut short or holding more than it
//      announces, an index that cannot be read whole, a container entry that does not decode
//      whole or is no RTF text: the line on err names the damaged file and what is wrong, and
//      what could be read is still printed; the error log has the details;
//   64 a command line that cannot be understood.
// The model and the indexes are process-wide, so RunTool is meant to run once per process (tests
// run the executable).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace Norik {

int RunTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace Norik
