#pragma once

#include <cstdint>
#include <utility>

namespace quorila {

// The three ways Windows takes back what it handed out: CloseHandle, FindClose and LocalFree.
// Declared here with void* (what HANDLE is) so that this header stays free of <windows.h>.
void closeHandle(void* handle) noexcept;
void closeFindHandle(void* handle) noexcept;
void freeLocal(void* memory) noexcept;

// Owns one value that `Close` gives back, exactly once, at the end of the owner's scope. `Invalid`
// is the one value that means "nothing owned" for this kind of handle: the value the function
// that makes it returns on failure (0 for null, -1 for INVALID_HANDLE_VALUE); any other value is
// owned and closed. Move-only. put() hands the slot to a function that fills an out-parameter;
// release() hands the value to the caller, who closes it.
template <typename Pointer, void (*Close)(void*) noexcept, std::intptr_t Invalid>
class UniqueAny {
public:
    UniqueAny() noexcept = default;
    explicit UniqueAny(Pointer value) noexcept : value_(value) {}
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    static Pointer invalid() noexcept { return reinterpret_cast<Pointer>(Invalid); }
    Pointer get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives back the owned value (if any) and takes `value` instead.
    void reset(Pointer value = invalid()) noexcept
    {
        if (valid()) {
            Close(value_);
        }
        value_ = value;
    }
    [[nodiscard]] Pointer release() noexcept { return std::exchange(value_, invalid()); }
    Pointer* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    Pointer value_ = invalid();
};

// A kernel object's handle where null is none: process, thread, token, mutex, what OpenProcess,
// CreateProcessW, ShellExecuteExW, CreateMutexW and NtCreateFile return.
using UniqueHandle = UniqueAny<void*, closeHandle, 0>;
// A kernel object's handle where INVALID_HANDLE_VALUE is none: what CreateFileW and
// CreateToolhelp32Snapshot return.
using UniqueFile = UniqueAny<void*, closeHandle, -1>;
// A listing of FindFirstFileExW (INVALID_HANDLE_VALUE is none).
using UniqueFindHandle = UniqueAny<void*, closeFindHandle, -1>;
// Memory the system allocated with LocalAlloc for the caller (CommandLineToArgvW's array).
template <typename Pointer>
using UniqueLocal = UniqueAny<Pointer, freeLocal, 0>;

// What starting a process hands back, owned as one: `Info` is PROCESS_INFORMATION (named where
// <windows.h> is included), so the owner itself goes to CreateProcessW as its out-parameter. The
// process and thread handles, when there, are closed together when the owner goes. Move-only.
template <typename Info>
struct UniqueProcessInformation : Info {
    UniqueProcessInformation() noexcept : Info{} {}
    UniqueProcessInformation(UniqueProcessInformation&& other) noexcept
        : Info(std::exchange(static_cast<Info&>(other), Info{}))
    {
    }
    UniqueProcessInformation& operator=(UniqueProcessInformation&& other) noexcept
    {
        if (this != &other) {
            close();
            static_cast<Info&>(*this) = std::exchange(static_cast<Info&>(other), Info{});
        }
        return *this;
    }
    UniqueProcessInformation(const UniqueProcessInformation&) = delete;
    UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;
    ~UniqueProcessInformation() { close(); }

private:
    void close() noexcept
    {
        for (void* handle : {this->hProcess, this->hThread}) {
            if (handle != nullptr) {
                closeHandle(handle);
            }
        }
    }
};

} // namespace quorila
