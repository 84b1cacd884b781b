#include "Helpers/DataFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace Norik {

HResult OpenDataFile(const std::string& path, int& fd, DataFileLinks links) {
    fd = -1;
    const int noFollow = links == DataFileLinks::Refuse ? O_NOFOLLOW : 0;
    int opened = -1;
    do {
        opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | noFollow);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) {
        const HResult code = LastSystemErrorCode();
        return code == kOk ? kFail : code;
    }
    struct stat info {};
    HResult code = kOk;
    if (::fstat(opened, &info) != 0) {
        code = LastSystemErrorCode();
    } else if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        code = SystemErrorCode(EISDIR);
    } else if (!S_ISREG(info.st_mode)) {
        code = kNotRegularFile;
    } else {
        // Reads of a regular file never wait anyway; blocking mode keeps stdio's view simple.
        const int flags = ::fcntl(opened, F_GETFL);
        if (flags < 0 || ::fcntl(opened, F_SETFL, flags & ~O_NONBLOCK) != 0) code = LastSystemErrorCode();
    }
    if (code != kOk) {
        const int saved = errno;
        ::close(opened);
        errno = saved;
        return Failed(code) ? code : kFail;
    }
    fd = opened;
    return kOk;
}

std::string DataFileOpenProblem(HResult code) {
    if (code == kNotRegularFile) return "not a regular file";
    const auto bits = static_cast<std::uint32_t>(code);
    if ((bits & 0xFFFF0000u) == 0x80070000u) {
        // Worker threads open files too; strerror shares one buffer between threads.
        return std::system_category().message(static_cast<int>(bits & 0xFFFFu));
    }
    return "cannot be opened";
}

}  // namespace Norik
