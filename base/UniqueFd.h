#pragma once
#include <unistd.h>

namespace corvanthelix {

/// Owns a POSIX file descriptor and closes it when it goes away. -1 means "none".
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    /// Gives up ownership; returns the descriptor.
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    /// Closes the descriptor held (if any) and takes `fd`. Returns false when close() failed,
    /// which for a written file means its data may not have reached the disk.
    bool reset(int fd = -1) {
        bool ok = true;
        if (fd_ >= 0) ok = ::close(fd_) == 0;
        fd_ = fd;
        return ok;
    }

private:
    int fd_ = -1;
};

} // namespace corvanthelix
