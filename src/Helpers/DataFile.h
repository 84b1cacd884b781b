// Opening the data files of a base for reading.
//
// Every file the program reads as data - a table, an index, a file of an update folder or of a
// builder's source - is opened through OpenDataFile: without blocking, so that a FIFO put in place
// of a table cannot hold the open until some writer comes, and only when it is a regular file or
// a symbolic link to one - or, where the file comes from somebody else's folder, only a regular
// file that is no link. (The container is opened the same way by CompoundFile::Open.)
// Stateless; any thread.
#pragma once

#include <string>

#include "common/ResultCode.h"

namespace Norik {

enum class DataFileLinks { Follow, Refuse };

// Opens path read-only and close-on-exec. kOk with fd set (in blocking mode again), or a failure
// code with fd -1: the system's code of a failed open (0x80070002 for a missing file,
// SystemErrorCode(ELOOP) for a symbolic link that links refuses), SystemErrorCode(EISDIR) for a
// folder, kNotRegularFile for a FIFO, a device or a socket.
HResult OpenDataFile(const std::string& path, int& fd, DataFileLinks links = DataFileLinks::Follow);

// A few words for a failure of OpenDataFile: the system's text, or "not a regular file".
std::string DataFileOpenProblem(HResult code);

}  // namespace Norik
