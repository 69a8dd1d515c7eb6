// SPDX-License-Identifier: MIT
#pragma once
// Windows only: owns one handle of the kind `Close` releases, and releases it
// exactly once. A search handle (FindClose) and a file handle (CloseHandle)
// are different kinds: each has its own alias below.

#include <windows.h>

#include <utility>

namespace quorvel {

template <BOOL(WINAPI* Close)(HANDLE)>
class Win32Handle {
  public:
    Win32Handle() = default;
    explicit Win32Handle(HANDLE handle) : handle_(handle) {}
    Win32Handle(Win32Handle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Win32Handle& operator=(Win32Handle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, INVALID_HANDLE_VALUE));
        return *this;
    }
    Win32Handle(const Win32Handle&) = delete;
    Win32Handle& operator=(const Win32Handle&) = delete;
    ~Win32Handle() { Reset(); }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (handle_ != INVALID_HANDLE_VALUE) Close(handle_);
        handle_ = handle;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

using UniqueFindHandle = Win32Handle<&::FindClose>;
using UniqueFileHandle = Win32Handle<&::CloseHandle>;

}  // namespace quorvel
