#pragma once

#include <string_view>
#include <utility>

namespace tovin {

// Owns one open file descriptor and closes it when destroyed.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    // Writes all of `bytes`, however many calls that takes; false, with `errno` set, when a write
    // fails.
    bool writeAll(std::string_view bytes) const;

    // Closes the descriptor now; false, with `errno` set, when the system reports that what was
    // written through it may not have reached the file. Closed either way.
    bool close();

    // Hands the descriptor over to the caller, who closes it from then on.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

} // namespace tovin
