#pragma once
// The one-line progress display on a terminal: percent, seconds done of the total, and speed
// as a multiple of real time.
#include <chrono>
#include <cstdio>

namespace tvqconvert {

class Progress {
public:
    Progress(bool enabled, double totalSeconds)
        : enabled_(enabled), total_(totalSeconds), begin_(std::chrono::steady_clock::now()) {}

    void Update(double secondsDone) {
        if (!enabled_)
            return;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
        const double percent = total_ > 0 ? 100.0 * secondsDone / total_ : 0;
        std::fprintf(stderr, "\r%5.1f%%  %.0f/%.0f s  %.1fx real time ",
                     percent > 100 ? 100 : percent, secondsDone, total_,
                     wall > 0 ? secondsDone / wall : 0.0);
        std::fflush(stderr);
        shown_ = true;
    }
    void Done() {
        if (shown_)
            std::fputc('\n', stderr);
        shown_ = false;
    }
    double Elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
    }

private:
    bool enabled_;
    double total_;
    std::chrono::steady_clock::time_point begin_;
    bool shown_ = false;
};

}  // namespace tvqconvert
