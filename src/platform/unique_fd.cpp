#include <qmsupport/platform/unique_fd.h>

#include <unistd.h>

namespace qm::platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    Reset();
}

int UniqueFd::Release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset(int fd) noexcept {
    if (fd_ >= 0 && fd_ != fd) {
        close(fd_);
    }
    fd_ = fd;
}

}  // namespace qm::platform
