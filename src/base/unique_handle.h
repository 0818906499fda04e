#pragma once

#include <cstdint>
#include <utility>

namespace quorila {

// The three ways Windows takes back what it handed out: CloseHandle, FindClose and LocalFree.
// Declared here with void* (what HANDLE is) so that this header stays free of <windows.h>.
void closeHandle(void* handle) noexcept;
void closeFindHandle(void* handle) noexcept;
void freeLocal(void* memory) noexcept;

// Owns one value that `Close` gives back, exactly once, at the end of the owner's scope. Null and
// `Invalid` both mean "nothing owned". Move-only. put() hands the slot to a function that fills
// an out-parameter.
template <typename Pointer, void (*Close)(void*) noexcept, std::intptr_t Invalid = 0>
class UniqueAny {
public:
    UniqueAny() noexcept = default;
    explicit UniqueAny(Pointer value) noexcept : value_(value) {}
    UniqueAny(UniqueAny&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other) {
            reset(std::exchange(other.value_, nullptr));
        }
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    Pointer get() const noexcept { return value_; }
    bool valid() const noexcept
    {
        return value_ != nullptr && reinterpret_cast<std::intptr_t>(value_) != Invalid;
    }
    explicit operator bool() const noexcept { return valid(); }

    // Gives back the owned value (if any) and takes `value` instead.
    void reset(Pointer value = nullptr) noexcept
    {
        if (valid()) {
            Close(value_);
        }
        value_ = value;
    }
    // Hands the owned value to the caller, who closes it; the owner holds nothing afterwards.
    [[nodiscard]] Pointer release() noexcept { return std::exchange(value_, nullptr); }
    Pointer* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    Pointer value_ = nullptr;
};

// A kernel object's handle (file, process, thread, token, mutex); INVALID_HANDLE_VALUE is none.
using UniqueHandle = UniqueAny<void*, closeHandle, -1>;
// A listing of FindFirstFileExW.
using UniqueFindHandle = UniqueAny<void*, closeFindHandle, -1>;
// Memory the system allocated with LocalAlloc for the caller (CommandLineToArgvW's array).
template <typename Pointer>
using UniqueLocal = UniqueAny<Pointer, freeLocal>;

// The two handles that starting a process hands back (PROCESS_INFORMATION).
struct ProcessHandles {
    UniqueHandle process;
    UniqueHandle thread;
};

} // namespace quorila
