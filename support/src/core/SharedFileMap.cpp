#include "support/SharedFileMap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

enum HeaderField { kReadIndex = 0, kWriteIndex = 1, kCount = 2, kCapacity = 3 };

}  // namespace

// ---------------------------------------------------------------------------------------------

CMutexLock::CMutexLock(win::NamedMutex* mutex) : m_hMutex(mutex) {
    if (m_hMutex) {
        m_hMutex->Wait();
        m_locked = true;
    }
}

CMutexLock::~CMutexLock() {
    Unlock();
}

void CMutexLock::Unlock() {
    if (m_locked && m_hMutex)
        m_hMutex->Release();
    m_locked = false;
}

// ---------------------------------------------------------------------------------------------

CSharedFileMap::CSharedFileMap() {
    m_hMutex = win::NamedMutex::Open(kShareMutexName);
    if (!m_hMutex)
        m_hMutex = win::NamedMutex::Create(kShareMutexName);
}

CSharedFileMap::~CSharedFileMap() {
    m_pHeader = nullptr;
    m_pData = nullptr;
    m_hMutex.reset();
}

void CSharedFileMap::Lock() {
    if (m_hMutex)
        m_hMutex->Wait();
}

void CSharedFileMap::Unlock() {
    if (m_hMutex)
        m_hMutex->Release();
}

void CSharedFileMap::AttachView(void* view, size_t bytes) {
    if (bytes <= static_cast<size_t>(kShareHeaderBytes))
        view = nullptr;
    m_pHeader = static_cast<int32_t*>(view);
    m_pData = view ? static_cast<uint8_t*>(view) + kShareHeaderBytes : nullptr;
    m_dataBytes = view ? static_cast<int64_t>(bytes) - kShareHeaderBytes : 0;
}

// Another process of the same user can scribble over the header; the indices are checked
// before they are used, so a damaged block fails its operations instead of overrunning.
bool CSharedFileMap::HeaderIsSane() const {
    const int32_t cap = m_pHeader[kCapacity];
    const int32_t r = m_pHeader[kReadIndex], w = m_pHeader[kWriteIndex];
    const int32_t count = m_pHeader[kCount];
    return cap > 0 && cap <= m_dataBytes && r >= -1 && r < cap && w >= -1 && w < cap &&
           count >= 0 && count <= cap;
}

bool CSharedFileMap::CanWrite(int32_t length) {
    CMutexLock lock(m_hMutex.get());
    if (!m_pHeader)
        return false;
    return static_cast<int64_t>(m_pHeader[kCount]) + length <= m_pHeader[kCapacity];
}

bool CSharedFileMap::Write(const void* bytes, int32_t length) {
    CMutexLock lock(m_hMutex.get());
    if (!m_pHeader || length < 0 || (length > 0 && !bytes) || !HeaderIsSane())
        return false;
    const int32_t cap = m_pHeader[kCapacity];
    if (static_cast<int64_t>(m_pHeader[kCount]) + length >= cap - 1)
        return false;

    const auto* src = static_cast<const uint8_t*>(bytes);
    const int32_t w = m_pHeader[kWriteIndex];
    if (w + length <= cap - 1) {
        if (length > 0)
            std::memcpy(m_pData + w + 1, src, static_cast<size_t>(length));
        m_pHeader[kWriteIndex] = w + length;
    } else {
        const int32_t first = cap - w - 1;
        if (first > 0)
            std::memcpy(m_pData + w + 1, src, static_cast<size_t>(first));
        std::memcpy(m_pData, src + first, static_cast<size_t>(length - first));
        m_pHeader[kWriteIndex] = (length - first) - 1;
    }
    m_pHeader[kCount] += length;
    if (m_pHeader[kReadIndex] == -1)
        m_pHeader[kReadIndex] = 0;
    return true;
}

bool CSharedFileMap::Read(void* buffer, int32_t& length) {
    CMutexLock lock(m_hMutex.get());
    if (!m_pHeader || m_pHeader[kCapacity] < 1 || !buffer || length < 0 || !HeaderIsSane())
        return false;
    if (m_pHeader[kReadIndex] == -1 || m_pHeader[kCount] <= 0)
        return false;

    const int32_t cap = m_pHeader[kCapacity];
    length = std::min(length, m_pHeader[kCount]);
    auto* dst = static_cast<uint8_t*>(buffer);
    const int32_t r = m_pHeader[kReadIndex];
    if (length + r > cap - 1) {
        const int32_t first = cap - r;
        std::memcpy(dst, m_pData + r, static_cast<size_t>(first));
        std::memcpy(dst + first, m_pData, static_cast<size_t>(length - first));
        m_pHeader[kReadIndex] = length - first;
    } else {
        if (length > 0)
            std::memcpy(dst, m_pData + r, static_cast<size_t>(length));
        m_pHeader[kReadIndex] = r + length;
    }
    m_pHeader[kCount] -= length;
    if (m_pHeader[kCount] < 1) {
        m_pHeader[kReadIndex] = -1;
        m_pHeader[kWriteIndex] = -1;
    }
    return true;
}

int32_t CSharedFileMap::GetCount() {
    CMutexLock lock(m_hMutex.get());
    return m_pHeader ? m_pHeader[kCount] : 0;
}

// ---------------------------------------------------------------------------------------------

CSharedFileMapCreator::CSharedFileMapCreator() {
    Create(nullptr, kShareBlockName, kShareBlockBytes);
}

CSharedFileMapCreator::~CSharedFileMapCreator() {
    Close();
}

void CSharedFileMapCreator::Create(const char* fileName, const char* blockName, uint32_t size) {
    if (m_created)
        Close();
    m_fileName = fileName ? fileName : "";
    m_blockName = blockName ? blockName : kShareBlockName;
    m_size = size == 0 ? kShareBlockBytes : size;

    if (m_size > static_cast<uint32_t>(kShareHeaderBytes)) {
        if (!m_fileName.empty()) {
            m_hFile = ::open(m_fileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            struct stat st {};
            if (m_hFile != kInvalidHandle && fstat(m_hFile, &st) == 0 &&
                (st.st_size >= static_cast<off_t>(m_size) || ::ftruncate(m_hFile, m_size) == 0)) {
                void* view =
                    ::mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_SHARED, m_hFile, 0);
                m_pView = view == MAP_FAILED ? nullptr : view;
            }
        } else {
            m_hMapping = win::SharedMemory::Create(m_blockName, m_size);
            m_pView = m_hMapping ? m_hMapping->Data() : nullptr;
        }
    }
    if (m_pView) {
        AttachView(m_pView, m_size);
        Lock();
        const int32_t capacity = static_cast<int32_t>(m_size) - kShareHeaderBytes;
        // A block that already carries our capacity belongs to a running copy: keep its queue.
        if (m_pHeader[kCapacity] != capacity) {
            m_pHeader[kCount] = 0;
            m_pHeader[kReadIndex] = -1;
            m_pHeader[kWriteIndex] = -1;
            m_pHeader[kCapacity] = capacity;
        }
        Unlock();
    }
    m_created = true;  // also after a failure: the queue operations then fail
}

void CSharedFileMapCreator::Close() {
    if (m_pView && !m_fileName.empty())
        ::munmap(m_pView, m_size);
    AttachView(nullptr, 0);
    m_pView = nullptr;
    m_hMapping.reset();
    if (m_hFile != kInvalidHandle)
        ::close(m_hFile);
    m_hFile = kInvalidHandle;
    m_fileName.clear();
    m_blockName.clear();
    m_size = 0;
    m_created = false;
}

// ---------------------------------------------------------------------------------------------

CSharedFileMapOpener::CSharedFileMapOpener() {
    Open(kShareBlockName);
}

CSharedFileMapOpener::~CSharedFileMapOpener() {
    Close();
}

void CSharedFileMapOpener::Open(const char* blockName) {
    if (m_opened)
        Close();
    m_blockName = blockName ? blockName : kShareBlockName;
    m_hMapping = win::SharedMemory::Open(m_blockName);
    if (m_hMapping) {
        m_pView = m_hMapping->Data();
        AttachView(m_pView, m_hMapping->Size());
    }
    m_opened = true;
}

void CSharedFileMapOpener::Close() {
    AttachView(nullptr, 0);
    m_pView = nullptr;
    m_hMapping.reset();
    m_blockName.clear();
    m_opened = false;
}
