#include "progress_line.h"

#include <algorithm>

ProgressLine::ProgressLine(std::FILE* out, unsigned total, bool terminal) : out_(out), total_(total), terminal_(terminal) {}

std::string ProgressLine::Text(unsigned done, unsigned total, double framesPerSecond) {
    constexpr unsigned kBar = 20;
    const unsigned filled = total ? unsigned(uint64_t(done) * kBar / total) : kBar;
    const unsigned percent = total ? unsigned(uint64_t(done) * 100 / total) : 100;
    char text[160];
    std::snprintf(text, sizeof text, "frame %u/%u [%s%s] %3u%%, %.1f frames/s", done, total,
                  std::string(filled, '#').c_str(), std::string(kBar - filled, '.').c_str(), percent, framesPerSecond);
    return text;
}

void ProgressLine::Update(unsigned done) {
    done_ = done;
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0.0 ? done / seconds : 0.0;
    if (terminal_) {
        if (done < total_ && now - lastShown_ < std::chrono::milliseconds(100)) return;
        lastShown_ = now;
        const std::string text = Text(done, total_, rate);
        // Blanks over the rest of a longer earlier line.
        const size_t pad = shownWidth_ > text.size() ? shownWidth_ - text.size() : 0;
        std::fprintf(out_, "\r%s%*s", text.c_str(), int(pad), "");
        shownWidth_ = text.size();
        open_ = true;
    } else {
        const unsigned tenth = total_ ? unsigned(uint64_t(done) * 10 / total_) : 10;
        if (tenth == lastTenth_ && done < total_) return;
        if (done == total_ && lastTenth_ == 10) return;
        lastTenth_ = tenth;
        std::fprintf(out_, "%s\n", Text(done, total_, rate).c_str());
    }
    std::fflush(out_);
}

void ProgressLine::Finish() {
    if (open_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        open_ = false;
    }
}
