#pragma once
// Converts one source file into a .tvq movie: reads the pictures and sound, re-times and
// resamples them, codes the seconds on both cores and writes them in order. The movie appears
// under its name only when it is complete.
#include "ConvertOptions.h"
#include "MediaSource.h"
#include "codec/TvqFormat.h"
#include "codec/TvqWriter.h"

#include <string>

namespace tvqconvert {

class Converter {
public:
    explicit Converter(const ConvertOptions& options) : options_(options) {}

    // 0 when the movie was written; 1 with a one-line reason in Error() otherwise.
    int Run();
    const std::string& Error() const { return error_; }

private:
    // What the coding loop wrote.
    struct Written {
        int seconds = 0;     // seconds handed to the writer
        double length = 0;   // the movie's length in seconds, a short last second in part
        double elapsed = 0;  // wall-clock seconds the coding took
    };

    // The steps of Run, in order; those that can fail return false with the reason in error_.
    bool OpenPictures();
    void ChooseFormat();
    bool OpenSound();
    bool WriteSeconds(tvq::TvqWriter& writer, Written& written);
    bool PublishMovie(tvq::TvqWriter& writer, const std::string& temp, bool written);
    void Report(const Written& written) const;

    const ConvertOptions& options_;
    std::string error_;
    MediaSource video_;
    MediaSource sound_;
    bool haveSound_ = false;
    double duration_ = 0;  // seconds, 0 or less when the source does not say
    tvq::TvqStreamFormat format_;
    int rotation_ = 0;  // degrees the pictures are turned to stand upright
    bool copyJpeg_ = false;
    int picturesCopied_ = 0;
    int writeErrno_ = 0;  // errno of the failed write, 0 when none failed
};

// Asks a running conversion to stop (from a signal handler); the partial movie is removed.
void RequestStop();
bool StopRequested();

}  // namespace tvqconvert
