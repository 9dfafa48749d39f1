#pragma once
// CTvqDecoder loads the decoder component TVQ_DecDLL.so for one open file, calls its three
// entry points (and the optional TvqSeek and TvqReadStored when the component has them) and hides
// it from the rest of the player. The engine is its only user.
//
// The library is looked for in the program folder. Tests and tools may point elsewhere with
// SetLibraryPathForTesting, or with the environment variable TVQ_DECODER_LIBRARY (a full path
// to the library); the former wins over the latter.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "codec/TvqComponentApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/WinTypes.h"

class CTvqDecoder {
public:
    // Loads the library and opens the file named in the block (copied). Any failure leaves
    // the defaults in force and the wrapper not usable; a load failure or a missing entry
    // point is reported in a message box.
    explicit CTvqDecoder(const TvqOpenBlock& openBlock);
    ~CTvqDecoder();
    CTvqDecoder(const CTvqDecoder&) = delete;
    CTvqDecoder& operator=(const CTvqDecoder&) = delete;

    // Decodes the next second into the request's buffers; one call at a time across threads.
    // 0 without calling when not usable; otherwise the component's result (kTvqEndOfFile at
    // the last second).
    int Decode(TvqDecodeRequest* request);
    // Reads the next second with its frames as stored (TvqReadStored); like Decode otherwise,
    // and 0 without calling when the component lacks the entry. Serialised with Decode.
    int ReadStored(TvqStoredRequest* request);
    // 1 when the component hands out stored frames and the file is open.
    int HasStoredFrames() const;
    // 1 when the component can reposition (it exports TvqSeek) and the file is open.
    int HasSeek() const;
    // Makes the next Decode deliver `second`: 1 on success. 0 when the component has no
    // TvqSeek, the wrapper is not usable or the component refused (second out of range); the
    // position is then unchanged and the caller reaches the second by decoding and discarding.
    // Serialised with Decode.
    int Seek(int32_t second);
    // Length of the movie in seconds; 0 without stream information. A 0 is asked again next
    // time, any other value is kept.
    int32_t GetLengthSeconds();

    const win::BITMAPINFOHEADER& GetPictureFormat() const { return pictureFormat_; }
    const win::WAVEFORMATEX& GetAudioFormat() const { return audioFormat_; }
    int GetFramesPerSecond() const { return framesPerSecond_; }
    int IsUsable() const { return usable_; }

    // The length in seconds the component will play for the movie at `path`, measured without
    // loading it: the index's count, or, for a file whose index is missing or damaged, the
    // whole chunks found after the header. -1 when the file holds no playable movie.
    static int32_t MeasureMovieLength(const std::string& path);

    // Where the library is loaded from: the test override, else $TVQ_DECODER_LIBRARY, else
    // the program folder followed by kLibraryName.
    static std::string LibraryPath();
    // Empty restores the normal search.
    static void SetLibraryPathForTesting(const std::string& path);

    static constexpr const char* kLibraryName = "TVQ_DecDLL.so";

private:
    void SetDefaults();
    bool LoadEntryPoints();
    void DeriveFormats();

    // All fields are set by the constructor and read-only afterwards, except the cached
    // length (atomic) and the component's state behind info_ (touched only inside Decode,
    // under decodeMutex_; TvqSeek likewise).
    TvqOpenBlock openBlock_{};
    win::DynamicLibrary library_;
    TvqInforInitFn inforInit_ = nullptr;
    TvqDecoderFn decoder_ = nullptr;
    TvqCloseFn close_ = nullptr;
    TvqSeekFn seek_ = nullptr;              // optional; null when the component lacks it
    TvqReadStoredFn readStored_ = nullptr;  // optional likewise
    std::mutex decodeMutex_;                // one TvqDecoder or TvqSeek call at a time
    TvqStreamInfo* info_ = nullptr;
    int usable_ = 0;
    win::BITMAPINFOHEADER pictureFormat_{};
    win::WAVEFORMATEX audioFormat_{};
    int framesPerSecond_ = 16;
    std::atomic<int32_t> cachedLengthSeconds_{0};
};
