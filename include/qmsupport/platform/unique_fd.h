#pragma once

#include <qmsupport/export.h>

namespace qm::platform {

// Owns an open file descriptor and closes it with the object; -1 owns nothing.
class QMSUPPORT_API UniqueFd {
  public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();

    [[nodiscard]] int Get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    // Gives the descriptor up without closing it, for an owner such as a stdio stream.
    [[nodiscard]] int Release() noexcept;
    // Closes the descriptor held, if any, and takes `fd`.
    void Reset(int fd = -1) noexcept;

  private:
    int fd_ = -1;
};

}  // namespace qm::platform
