// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>
#include <system_error>
#include <utility>

namespace brindlecap {

// Owns one file descriptor and closes it on destruction.
class UniqueFd final
{
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { close(); }

    int get() const noexcept { return m_fd; }
    bool isOpen() const noexcept { return m_fd >= 0; }

    // Closes now and says whether the kernel reported an error in doing so.
    std::error_code close() noexcept;

private:
    int m_fd = -1;
};

// The error the last failed system call left in errno.
inline std::error_code lastError() noexcept
{
    return {errno, std::generic_category()};
}

} // namespace brindlecap
