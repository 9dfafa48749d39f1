#pragma once
// Named objects shared by the copies of the program that one user runs: a named mutex and a
// named block of shared memory, the stand-ins for CreateMutex/OpenMutex and
// CreateFileMapping/OpenFileMapping with a name.
//
// Every name lives in the user's own object folder (see NamedObjectFolder), so another user's
// processes can neither open nor inject into them, and separate sessions with separate
// XDG_RUNTIME_DIR folders (the tests) do not meet.
//
// The mutex is a lock file held with flock: the kernel releases it when its holder dies, as
// Windows abandons a mutex. It is recursive for the owning thread, also across several
// NamedMutex objects of one process that carry the same name (two handles to one kernel
// mutex on Windows).
//
// The block is POSIX shared memory. It lives as long as some process has it open, as a
// Windows mapping does: every holder keeps a shared flock on a companion "users" file, and the
// last one to close (or the first to create after a crash) removes the old block.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace win {

// Result of NamedMutex::Wait when the previous holder died while holding the mutex.
constexpr uint32_t WAIT_ABANDONED = 0x80;

// The user's folder for named objects, ending in '/': $XDG_RUNTIME_DIR when it is set and is
// a folder the user owns that nobody else may write, else /tmp/tvqplayer-<uid>/ (made 0700).
// Empty when neither can be had.
std::string NamedObjectFolder();

namespace detail {
struct MutexState;
}

class NamedMutex {
public:
    // CreateMutex(NULL, FALSE, name): opens the mutex, making it when it does not exist yet.
    // Null when the object folder or the lock file cannot be had.
    static std::unique_ptr<NamedMutex> Create(const std::string& name);
    // OpenMutex: null when no process made the mutex yet (its lock file does not exist).
    static std::unique_ptr<NamedMutex> Open(const std::string& name);

    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // WaitForSingleObject(mutex, INFINITE): WAIT_OBJECT_0, or WAIT_ABANDONED when the holder
    // died with it. The owning thread may wait again; it must Release as often.
    uint32_t Wait();
    // Waits only when the mutex is free at once: WAIT_OBJECT_0 / WAIT_ABANDONED or WAIT_TIMEOUT.
    uint32_t TryWait();
    // ReleaseMutex: false when the calling thread does not own the mutex.
    bool Release();

private:
    explicit NamedMutex(std::shared_ptr<detail::MutexState> state);
    std::shared_ptr<detail::MutexState> state_;  // shared by the process's handles of one name
};

class SharedMemory {
public:
    // CreateFileMapping + MapViewOfFile of `size` bytes: attaches to the block when it exists
    // (its contents are kept; `AlreadyExisted` tells), else makes a zero-filled one. Null on
    // failure, also when an existing block is smaller than `size` or is not the user's own.
    static std::unique_ptr<SharedMemory> Create(const std::string& name, size_t size);
    // OpenFileMapping + MapViewOfFile of the whole block: null when it does not exist.
    static std::unique_ptr<SharedMemory> Open(const std::string& name);

    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    void* Data() const { return data_; }
    size_t Size() const { return size_; }
    bool AlreadyExisted() const { return existed_; }

private:
    SharedMemory() = default;
    static std::unique_ptr<SharedMemory> Map(const std::string& name, size_t size, bool create);

    void* data_ = nullptr;
    size_t size_ = 0;
    bool existed_ = false;
    int usersFd_ = -1;  // holds a shared flock while the block is mapped
    std::string shmName_;
    std::string usersPath_;
    std::string guardPath_;
};

}  // namespace win
