#pragma once
// The block through which a second copy of the player hands file names to the first: a named
// shared memory block holding a circular byte queue, and the named mutex that serialises the
// start-up of the copies and every access to the queue.
//
// Block layout (little-endian int32 header, shared by every process that maps the block):
//   0  read index   next byte to read in the data area, -1 when the queue is empty
//   4  write index  last byte written, -1 when the queue is empty
//   8  count        bytes queued
//   12 capacity     size of the data area (block size - 16)
//   16 data area
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/NamedObjects.h"

// Names shared by all copies of the player.
inline constexpr const char* kShareMutexName = "_VTRAX_SHARE_MUTEX_OBJ_";
inline constexpr const char* kShareBlockName = "_SFM_OBJ_";
inline constexpr uint32_t kShareBlockBytes = 0x10000;
inline constexpr int32_t kShareHeaderBytes = 16;

// Holds the named mutex for a scope (and until Unlock).
class CMutexLock {
public:
    explicit CMutexLock(win::NamedMutex* mutex);
    ~CMutexLock();
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;
    void Unlock();

private:
    bool m_locked = false;
    win::NamedMutex* m_hMutex;  // not owned
};

// The queue operations; the derived classes map the block.
class CSharedFileMap {
public:
    CSharedFileMap();
    virtual ~CSharedFileMap();
    CSharedFileMap(const CSharedFileMap&) = delete;
    CSharedFileMap& operator=(const CSharedFileMap&) = delete;

    // Takes the named mutex without a time-out (recursive for the calling thread).
    void Lock();
    void Unlock();

    bool CanWrite(int32_t length);
    // Refuses unless count + length < capacity - 1: stricter than CanWrite.
    bool Write(const void* bytes, int32_t length);
    // Copies up to `length` bytes; on success `length` holds the number copied.
    bool Read(void* buffer, int32_t& length);
    int32_t GetCount();

protected:
    // Points the queue at a mapped view of `bytes` bytes (null: unmapped).
    void AttachView(void* view, size_t bytes);

    int32_t* m_pHeader = nullptr;  // the mapped header; null when not mapped
    uint8_t* m_pData = nullptr;    // header + 16; null when not mapped
    int64_t m_dataBytes = 0;       // mapped bytes after the header; bounds the capacity

private:
    bool HeaderIsSane() const;

    std::unique_ptr<win::NamedMutex> m_hMutex;  // null when the mutex could not be had
};

// Creates the block or attaches to an existing one, keeping what it holds.
class CSharedFileMapCreator : public CSharedFileMap {
public:
    CSharedFileMapCreator();
    ~CSharedFileMapCreator() override;

    // fileName null: named shared memory; otherwise the block is that file, mapped.
    // blockName null: "_SFM_OBJ_"; size 0: 0x10000.
    void Create(const char* fileName, const char* blockName, uint32_t size);
    void Close();
    bool IsCreated() const { return m_created; }

private:
    static constexpr int kInvalidHandle = -1;

    int m_hFile = kInvalidHandle;                   // only with a file name
    std::unique_ptr<win::SharedMemory> m_hMapping;  // only without a file name
    void* m_pView = nullptr;
    std::string m_fileName;  // "" when none was given
    std::string m_blockName;
    uint32_t m_size = 0;
    bool m_created = false;
};

// Opens an existing block by name; the header is left as it is.
class CSharedFileMapOpener : public CSharedFileMap {
public:
    CSharedFileMapOpener();
    ~CSharedFileMapOpener() override;

    void Open(const char* blockName);
    void Close();
    bool IsOpened() const { return m_opened; }

private:
    std::unique_ptr<win::SharedMemory> m_hMapping;
    void* m_pView = nullptr;
    std::string m_blockName;
    bool m_opened = false;
};
