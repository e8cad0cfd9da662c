#include "dsu/common/DebugLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace solvane::dsusim {

DebugLog::~DebugLog() {
    close();
}

void DebugLog::close() noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void DebugLog::open(const std::string& file) {
    if (fd_ >= 0 && path_ != file)
        close();
    if (fd_ < 0) {
        path_ = file;
        // Without waiting: a FIFO of that name would hold the start until a reader came.
        fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
        struct stat status {};
        if (fd_ >= 0 && (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)))
            close();
        shared_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0;
    }
    if (fd_ >= 0 && !shared_)
        (void)::ftruncate(fd_, 0);
    on_ = fd_ >= 0;
}

void DebugLog::write(const std::string& text) {
    if (!on_)
        return;
    const std::string line = text + '\n';
    if (::write(fd_, line.data(), line.size()) < 0)
        on_ = false;
}

} // namespace solvane::dsusim
