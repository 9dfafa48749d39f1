#include "engine/TvqDecoder.h"

#include <cstdio>
#include <cstdlib>

#include "codec/TvqChunkIndex.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

namespace {

// Formats in force until the component describes the file (and for good if it cannot).
constexpr int32_t kDefaultWidth = 96;
constexpr int32_t kDefaultHeight = 64;
constexpr uint16_t kDefaultBitsPerPixel = 24;
constexpr uint32_t kDefaultImageBytes = 18432;
constexpr uint16_t kDefaultChannels = 2;
constexpr uint32_t kDefaultSamplesPerSecond = 11025;
constexpr uint32_t kDefaultBytesPerSecond = 88100;  // kept as it always was, not 4 x 11025
constexpr uint16_t kDefaultBlockAlign = 4;
constexpr uint16_t kDefaultBitsPerSample = 16;
constexpr int kDefaultFramesPerSecond = 16;

std::mutex g_pathLock;
std::string& TestLibraryPath() {
    static std::string path;  // under g_pathLock
    return path;
}

void ReportLoadError(int error) {
    char text[64];
    std::snprintf(text, sizeof text, "Error loading lame_enc.DLL err=%d", error);
    win::MessageBox(text, "", win::MB_OK);
}

}  // namespace

std::string CTvqDecoder::LibraryPath() {
    {
        std::lock_guard lk(g_pathLock);
        if (!TestLibraryPath().empty())
            return TestLibraryPath();
    }
    if (const char* env = std::getenv("TVQ_DECODER_LIBRARY"); env && *env)
        return env;
    return win::ProgramFolder() + kLibraryName;
}

int32_t CTvqDecoder::MeasureMovieLength(const std::string& path) {
    return tvq::FindMovieLength(path);
}

void CTvqDecoder::SetLibraryPathForTesting(const std::string& path) {
    std::lock_guard lk(g_pathLock);
    TestLibraryPath() = path;
}

CTvqDecoder::CTvqDecoder(const TvqOpenBlock& openBlock) : openBlock_(openBlock) {
    SetDefaults();
    if (!library_.Load(LibraryPath())) {
        ReportLoadError(library_.LastError());
        return;
    }
    // A library without all three entry points is as good as none: nothing of it is called.
    if (!LoadEntryPoints()) {
        ReportLoadError(library_.LastError());
        return;
    }
    info_ = inforInit_(&openBlock_);
    if (!info_)
        return;
    usable_ = 1;
    DeriveFormats();
}

CTvqDecoder::~CTvqDecoder() {
    if (usable_ && close_)
        close_(info_);
    info_ = nullptr;
    usable_ = 0;
    library_.Free();
}

void CTvqDecoder::SetDefaults() {
    pictureFormat_ = win::BITMAPINFOHEADER{};
    pictureFormat_.biWidth = kDefaultWidth;
    pictureFormat_.biHeight = kDefaultHeight;
    pictureFormat_.biPlanes = 1;
    pictureFormat_.biBitCount = kDefaultBitsPerPixel;
    pictureFormat_.biCompression = win::BI_RGB;
    pictureFormat_.biSizeImage = kDefaultImageBytes;
    audioFormat_ = win::WAVEFORMATEX{};
    audioFormat_.wFormatTag = win::WAVE_FORMAT_PCM;
    audioFormat_.nChannels = kDefaultChannels;
    audioFormat_.nSamplesPerSec = kDefaultSamplesPerSecond;
    audioFormat_.nAvgBytesPerSec = kDefaultBytesPerSecond;
    audioFormat_.nBlockAlign = kDefaultBlockAlign;
    audioFormat_.wBitsPerSample = kDefaultBitsPerSample;
    audioFormat_.cbSize = 0;
    framesPerSecond_ = kDefaultFramesPerSecond;
    cachedLengthSeconds_ = 0;
}

bool CTvqDecoder::LoadEntryPoints() {
    auto* inforInit = reinterpret_cast<TvqInforInitFn>(library_.Resolve("TvqInforInit"));
    auto* decoder = reinterpret_cast<TvqDecoderFn>(library_.Resolve("TvqDecoder"));
    auto* close = reinterpret_cast<TvqCloseFn>(library_.Resolve("TvqClose"));
    if (!inforInit || !decoder || !close)
        return false;
    inforInit_ = inforInit;
    decoder_ = decoder;
    close_ = close;
    // Older components lack it; they still play, and the engine seeks by decoding forward.
    seek_ = reinterpret_cast<TvqSeekFn>(library_.ResolveOptional(kTvqSeekName));
    // Without it the engine queues decoded seconds instead of stored frames.
    readStored_ = reinterpret_cast<TvqReadStoredFn>(library_.ResolveOptional(kTvqReadStoredName));
    return true;
}

void CTvqDecoder::DeriveFormats() {
    pictureFormat_ = win::BITMAPINFOHEADER{};
    pictureFormat_.biSize = sizeof(win::BITMAPINFOHEADER);
    pictureFormat_.biWidth = info_->width;
    pictureFormat_.biHeight = info_->height;
    pictureFormat_.biPlanes = 1;
    pictureFormat_.biBitCount = static_cast<uint16_t>(8 * info_->bytesPerPixel);
    pictureFormat_.biCompression = win::BI_RGB;
    const int64_t stride = win::DibStride(info_->width, pictureFormat_.biBitCount);
    pictureFormat_.biSizeImage = static_cast<uint32_t>(stride * info_->height);

    audioFormat_ = win::WAVEFORMATEX{};
    audioFormat_.wFormatTag = win::WAVE_FORMAT_PCM;
    audioFormat_.nChannels = info_->channels;
    audioFormat_.nSamplesPerSec = info_->samplesPerSecond;
    audioFormat_.wBitsPerSample = info_->bitsPerSample;
    audioFormat_.nBlockAlign = static_cast<uint16_t>(info_->bitsPerSample * info_->channels / 8);
    audioFormat_.nAvgBytesPerSec = audioFormat_.nBlockAlign * info_->samplesPerSecond;
    audioFormat_.cbSize = 0;
    framesPerSecond_ = info_->framesPerSecond;
}

int CTvqDecoder::Decode(TvqDecodeRequest* request) {
    if (!usable_)
        return 0;
    std::lock_guard lk(decodeMutex_);
    return decoder_(request, &openBlock_, info_);
}

int CTvqDecoder::ReadStored(TvqStoredRequest* request) {
    if (!usable_ || !readStored_)
        return 0;
    std::lock_guard lk(decodeMutex_);
    return readStored_(request, info_);
}

int CTvqDecoder::HasStoredFrames() const {
    return usable_ && readStored_ ? 1 : 0;
}

int CTvqDecoder::HasSeek() const {
    return usable_ && seek_ ? 1 : 0;
}

int CTvqDecoder::Seek(int32_t second) {
    if (!usable_ || !seek_)
        return 0;
    std::lock_guard lk(decodeMutex_);
    return seek_(info_, second) == 1 ? 1 : 0;
}

int32_t CTvqDecoder::GetLengthSeconds() {
    const int32_t cached = cachedLengthSeconds_.load();
    if (cached > 0)
        return cached;
    if (!info_)
        return 0;
    // The component fills the length when the file is opened; reading it needs no decode call.
    const uint32_t packed = static_cast<uint32_t>(info_->packedLength);
    const int32_t seconds = static_cast<int32_t>(packed & 0xFF);
    const int32_t minutes = static_cast<int32_t>((packed >> 8) & 0xFF);
    const int32_t hours = static_cast<int16_t>(packed >> 16);
    const int32_t length = seconds + 60 * (minutes + 60 * hours);
    cachedLengthSeconds_ = length;
    return length;
}
