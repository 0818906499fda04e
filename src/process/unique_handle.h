#pragma once

#include <utility>

namespace quorila {

// Owns one Win32 handle and closes it exactly once. The handle is kept as void* (what HANDLE
// is) so that this header stays free of <windows.h>. Null and INVALID_HANDLE_VALUE both mean
// "no handle". Move-only.
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(void* handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    void* get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != nullptr && handle_ != invalidValue(); }
    explicit operator bool() const noexcept { return valid(); }

    // Closes the owned handle (if any) and takes `handle` instead.
    void reset(void* handle = nullptr) noexcept;

private:
    static void* invalidValue() noexcept { return reinterpret_cast<void*>(static_cast<long long>(-1)); }

    void* handle_ = nullptr;
};

// The two handles that starting a process hands back (PROCESS_INFORMATION).
struct ProcessHandles {
    UniqueHandle process;
    UniqueHandle thread;
};

} // namespace quorila
