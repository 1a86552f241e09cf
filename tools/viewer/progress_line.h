// The one-line progress indicator of a headless run. On a terminal the line is rewritten in
// place (carriage return) at most ten times a second; otherwise (a log, a pipe) a plain line
// is written at every tenth of the run, so a log keeps a short history.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

class ProgressLine {
public:
    ProgressLine(std::FILE* out, unsigned total, bool terminal);
    // `done` frames of the total are finished.
    void Update(unsigned done);
    // Ends the line (a terminal's line is finished with a newline).
    void Finish();

    // The text shown for `done` of `total` frames at `framesPerSecond`.
    static std::string Text(unsigned done, unsigned total, double framesPerSecond);

private:
    using Clock = std::chrono::steady_clock;
    std::FILE* out_;
    unsigned total_;
    bool terminal_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastShown_{};
    unsigned lastTenth_ = 0;
    unsigned done_ = 0;
    size_t shownWidth_ = 0;
    bool open_ = false;  // a terminal line without its newline yet
};
