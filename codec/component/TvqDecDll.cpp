// The decoder component TVQ_DecDLL: three C entry points, and the optional TvqSeek and
// TvqReadStored, over
// TvqStreamDecoder. Each
// TvqInforInit makes an independent decoder; the TvqStreamInfo pointer it returns is the
// handle, looked up in a registry so a stale or foreign pointer is refused, not dereferenced.
#include "codec/TvqComponentApi.h"
#include "codec/TvqStreamDecoder.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

std::mutex g_registryLock;
// Guarded by g_registryLock. A decoder is used outside the lock: callers never decode one file
// on two threads at once, nor close it while decoding.
std::map<TvqStreamInfo*, std::unique_ptr<tvq::TvqStreamDecoder>>& Registry() {
    static std::map<TvqStreamInfo*, std::unique_ptr<tvq::TvqStreamDecoder>> registry;
    return registry;
}

tvq::TvqStreamDecoder* Find(TvqStreamInfo* info) {
    std::lock_guard lock(g_registryLock);
    const auto it = Registry().find(info);
    return it == Registry().end() ? nullptr : it->second.get();
}

}  // namespace

#define TVQ_EXPORT extern "C" __attribute__((visibility("default")))

// Nothing may escape into the caller as an exception: a failure inside (memory, threads) is
// reported the way the interface reports failure.
TVQ_EXPORT TvqStreamInfo* TvqInforInit(TvqOpenBlock* block) {
    if (!block)
        return nullptr;
    try {
        // The block is 264 bytes; a path without its terminator is cut there, not overrun.
        const std::string path(block->path, strnlen(block->path, sizeof block->path));
        auto decoder = std::make_unique<tvq::TvqStreamDecoder>();
        if (path.empty() || !decoder->Open(path))
            return nullptr;
        TvqStreamInfo* info = &decoder->Info();
        std::lock_guard lock(g_registryLock);
        Registry().emplace(info, std::move(decoder));
        return info;
    } catch (...) {
        return nullptr;
    }
}

TVQ_EXPORT int TvqDecoder(TvqDecodeRequest* request, TvqOpenBlock* /*block*/, TvqStreamInfo* info) {
    tvq::TvqStreamDecoder* decoder = Find(info);
    if (!request || !decoder)
        return kTvqEndOfFile;
    try {
        return decoder->DecodeNext(*request);
    } catch (...) {
        return decoder->Abandon(*request);
    }
}

TVQ_EXPORT int TvqReadStored(TvqStoredRequest* request, TvqStreamInfo* info) {
    tvq::TvqStreamDecoder* decoder = Find(info);
    if (!request)
        return kTvqEndOfFile;
    if (!decoder) {
        for (const uintptr_t count : {request->audioCount, request->frameCount})
            if (count)
                *reinterpret_cast<int32_t*>(count) = 0;
        return kTvqEndOfFile;
    }
    try {
        return decoder->ReadStoredNext(*request);
    } catch (...) {
        return decoder->Abandon(*request);
    }
}

TVQ_EXPORT int TvqSeek(TvqStreamInfo* info, int32_t second) {
    tvq::TvqStreamDecoder* decoder = Find(info);
    if (!decoder)
        return 0;
    return decoder->SeekTo(second) ? 1 : 0;
}

TVQ_EXPORT int TvqClose(TvqStreamInfo* info) {
    std::unique_ptr<tvq::TvqStreamDecoder> doomed;
    {
        std::lock_guard lock(g_registryLock);
        const auto it = Registry().find(info);
        if (it == Registry().end())
            return 0;
        doomed = std::move(it->second);
        Registry().erase(it);
    }
    return 1;
}
