#include "platform/NamedObjects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "platform/WinTypes.h"

namespace win {

namespace {

constexpr uint32_t kWaitFailed = 0xFFFFFFFF;

// A folder only its owner can write into, so no other user can plant or read our objects.
bool IsPrivateFolder(const std::string& path, bool allowGroupRead) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (st.st_uid != geteuid())
        return false;
    const mode_t forbidden = allowGroupRead ? (S_IWGRP | S_IWOTH) : (S_IRWXG | S_IRWXO);
    return (st.st_mode & forbidden) == 0;
}

// Object names become file names: keep them to one path component.
std::string SafeName(const std::string& name) {
    std::string out;
    for (char c : name) out += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
    return out;
}

std::string Hex32(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

uint32_t Fnv1a(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

int OpenPrivateFile(const std::string& path, bool create) {
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_uid != geteuid() || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool FlockRetry(int fd, int op) {
    while (flock(fd, op) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

}  // namespace

std::string NamedObjectFolder() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) {
        std::string folder = xdg;
        if (IsPrivateFolder(folder, true))
            return folder.back() == '/' ? folder : folder + '/';
    }
    const std::string folder = "/tmp/tvqplayer-" + std::to_string(geteuid());
    ::mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder, false) ? folder + '/' : std::string();
}

// ---------------------------------------------------------------------------------------------
// Named mutex

namespace detail {

// One per lock file and process: the handles of one name share it, which makes the mutex
// recursive for its owning thread whichever handle it waits on.
struct MutexState {
    std::mutex lock;
    std::condition_variable freed;
    int fd = -1;            // the lock file; set once
    pid_t pid = 0;          // the process that opened it; set once
    std::thread::id owner;  // under `lock`
    int count = 0;          // recursion depth of `owner`, under `lock`

    ~MutexState() {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace detail

namespace {

std::mutex g_registryLock;
std::map<std::string, std::weak_ptr<detail::MutexState>>& Registry() {
    static std::map<std::string, std::weak_ptr<detail::MutexState>> registry;
    return registry;
}

std::string MutexPath(const std::string& folder, const std::string& name) {
    return folder + "tvqplayer-" + SafeName(name) + ".lock";
}

std::shared_ptr<detail::MutexState> StateFor(const std::string& path, bool create) {
    std::lock_guard lk(g_registryLock);
    auto& registry = Registry();
    if (auto it = registry.find(path); it != registry.end()) {
        // A forked child inherits the parent's states and descriptors; flock would treat the
        // inherited description as its own, so the child opens the file afresh.
        if (auto state = it->second.lock(); state && state->pid == ::getpid())
            return state;
    }
    const int fd = OpenPrivateFile(path, create);
    if (fd < 0)
        return nullptr;
    auto state = std::make_shared<detail::MutexState>();
    state->fd = fd;
    state->pid = ::getpid();
    registry[path] = state;
    return state;
}

// The holder writes its pid into the lock file and empties it on release, so a waiter that
// finds a pid there knows the holder died with the mutex.
uint32_t TakeOwnership(int fd) {
    char old[32] = {};
    const ssize_t n = ::pread(fd, old, sizeof old - 1, 0);
    const std::string pid = std::to_string(::getpid());
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // The mark only serves abandonment detection; the lock itself is held.
    }
    return n > 0 ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::Create(const std::string& name) {
    const std::string folder = NamedObjectFolder();
    if (folder.empty())
        return nullptr;
    auto state = StateFor(MutexPath(folder, name), true);
    return state ? std::unique_ptr<NamedMutex>(new NamedMutex(std::move(state))) : nullptr;
}

std::unique_ptr<NamedMutex> NamedMutex::Open(const std::string& name) {
    const std::string folder = NamedObjectFolder();
    if (folder.empty())
        return nullptr;
    auto state = StateFor(MutexPath(folder, name), false);
    return state ? std::unique_ptr<NamedMutex>(new NamedMutex(std::move(state))) : nullptr;
}

NamedMutex::NamedMutex(std::shared_ptr<detail::MutexState> state) : state_(std::move(state)) {}

NamedMutex::~NamedMutex() = default;

uint32_t NamedMutex::Wait() {
    detail::MutexState& st = *state_;
    std::unique_lock lk(st.lock);
    const auto self = std::this_thread::get_id();
    if (st.count > 0 && st.owner == self) {
        ++st.count;
        return WAIT_OBJECT_0;
    }
    st.freed.wait(lk, [&] { return st.count == 0; });
    // Reserve the mutex inside the process, then wait for the other processes without
    // holding the in-process lock.
    st.owner = self;
    st.count = 1;
    lk.unlock();
    if (!FlockRetry(st.fd, LOCK_EX)) {
        lk.lock();
        st.count = 0;
        st.owner = {};
        st.freed.notify_all();
        return kWaitFailed;
    }
    return TakeOwnership(st.fd);
}

uint32_t NamedMutex::TryWait() {
    detail::MutexState& st = *state_;
    std::lock_guard lk(st.lock);
    const auto self = std::this_thread::get_id();
    if (st.count > 0) {
        if (st.owner != self)
            return WAIT_TIMEOUT;
        ++st.count;
        return WAIT_OBJECT_0;
    }
    if (flock(st.fd, LOCK_EX | LOCK_NB) != 0)
        return WAIT_TIMEOUT;
    st.owner = self;
    st.count = 1;
    return TakeOwnership(st.fd);
}

bool NamedMutex::Release() {
    detail::MutexState& st = *state_;
    std::lock_guard lk(st.lock);
    if (st.count == 0 || st.owner != std::this_thread::get_id())
        return false;
    if (--st.count > 0)
        return true;
    if (::ftruncate(st.fd, 0) != 0) {
        // A stale pid only makes the next holder see an abandoned mutex.
    }
    flock(st.fd, LOCK_UN);
    st.owner = {};
    st.freed.notify_all();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Shared memory

namespace {

// Serialises creating, opening and closing one block across processes, so the check "nobody
// uses the block any more" and the removal cannot interleave with an attach.
class BlockGuard {
public:
    explicit BlockGuard(const std::string& path) : fd_(OpenPrivateFile(path, true)) {
        if (fd_ >= 0 && !FlockRetry(fd_, LOCK_EX)) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~BlockGuard() {
        if (fd_ >= 0)
            ::close(fd_);  // closing releases the flock
    }
    BlockGuard(const BlockGuard&) = delete;
    BlockGuard& operator=(const BlockGuard&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

// True when no process holds a shared flock on the users file any more.
bool NobodyUses(const std::string& usersPath) {
    const int probe = OpenPrivateFile(usersPath, true);
    if (probe < 0)
        return false;
    const bool free = flock(probe, LOCK_EX | LOCK_NB) == 0;
    ::close(probe);
    return free;
}

}  // namespace

std::unique_ptr<SharedMemory> SharedMemory::Create(const std::string& name, size_t size) {
    return size == 0 ? nullptr : Map(name, size, true);
}

std::unique_ptr<SharedMemory> SharedMemory::Open(const std::string& name) {
    return Map(name, 0, false);
}

std::unique_ptr<SharedMemory> SharedMemory::Map(const std::string& name, size_t size, bool create) {
    const std::string folder = NamedObjectFolder();
    if (folder.empty())
        return nullptr;
    const std::string base = folder + "tvqplayer-" + SafeName(name);
    BlockGuard guard(base + ".guard");  // released after `block` is complete
    if (!guard.Held())
        return nullptr;

    std::unique_ptr<SharedMemory> block(new SharedMemory());
    block->usersPath_ = base + ".users";
    block->guardPath_ = base + ".guard";
    block->shmName_ = "/tvqplayer-" + std::to_string(geteuid()) + "-" + Hex32(Fnv1a(folder)) + "-" +
                      SafeName(name);
    // A block left by copies that all died is stale: start afresh, as Windows would.
    if (create && NobodyUses(block->usersPath_))
        ::shm_unlink(block->shmName_.c_str());

    int fd = -1;
    if (create) {
        fd = ::shm_open(block->shmName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            ::close(fd);
            ::shm_unlink(block->shmName_.c_str());
            return nullptr;
        }
        if (fd < 0 && errno == EEXIST)
            block->existed_ = true;
    }
    if (fd < 0)
        fd = ::shm_open(block->shmName_.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;

    struct stat st {};
    const bool ownBlock = fstat(fd, &st) == 0 && st.st_uid == geteuid() &&
                          (st.st_mode & (S_IRWXG | S_IRWXO)) == 0 && st.st_size > 0;
    if (!ownBlock || static_cast<size_t>(st.st_size) < size) {
        ::close(fd);
        return nullptr;
    }
    const size_t mapSize = create ? size : static_cast<size_t>(st.st_size);
    void* view = ::mmap(nullptr, mapSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (view == MAP_FAILED)
        return nullptr;
    block->data_ = view;
    block->size_ = mapSize;

    block->usersFd_ = OpenPrivateFile(block->usersPath_, true);
    if (block->usersFd_ >= 0)
        FlockRetry(block->usersFd_, LOCK_SH);
    return block;
}

SharedMemory::~SharedMemory() {
    // Only a mapped block has anything to give back; an unmapped one is destroyed inside
    // Map, which holds the guard already.
    if (!data_)
        return;
    BlockGuard guard(guardPath_);
    ::munmap(data_, size_);
    if (usersFd_ >= 0)
        ::close(usersFd_);
    if (guard.Held() && NobodyUses(usersPath_))
        ::shm_unlink(shmName_.c_str());
}

}  // namespace win
