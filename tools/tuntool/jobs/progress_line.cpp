#include "progress_line.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "base/shown_name.hpp"
#include "song/channel_record.hpp"

namespace tuntool {
namespace {

constexpr double output_rate = song::output_rate;
constexpr auto redraw_interval = std::chrono::milliseconds(100);

std::string clock_text(uint64_t frames) {
    const uint64_t tenths = frames * 10 / song::output_rate;
    char text[40];
    std::snprintf(text, sizeof text, "%llu:%02llu.%llu", static_cast<unsigned long long>(tenths / 600),
                  static_cast<unsigned long long>(tenths / 10 % 60), static_cast<unsigned long long>(tenths % 10));
    return text;
}

void write_text(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put <= 0) return;  // a terminal that went away takes no progress
        done += static_cast<size_t>(put);
    }
}

double seconds_since(progress_clock::time_point start) {
    return std::chrono::duration<double>(progress_clock::now() - start).count();
}

}  // namespace

progress_display progress_on_standard_error(bool quiet) {
    progress_display d;
    d.shown = !quiet && ::isatty(STDERR_FILENO) == 1;
    struct winsize size {};
    if (d.shown && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) d.width = size.ws_col;
    return d;
}

std::string progress_line(const std::string& name, const progress_report& report, double seconds, size_t width) {
    const uint64_t work = static_cast<uint64_t>(report.passes) * report.length;
    const uint64_t done = static_cast<uint64_t>(report.pass) * report.length + report.frames;
    const unsigned percent = work == 0 ? 0 : static_cast<unsigned>(done * 100 / work);
    char tail[160];
    char speed[32] = "";
    if (seconds > 0 && done > 0) std::snprintf(speed, sizeof speed, "  %.0fx real time", done / output_rate / seconds);
    char stem[32] = "";
    if (report.passes > 1) std::snprintf(stem, sizeof stem, "  stem %u/%u", report.pass + 1, report.passes);
    std::snprintf(tail, sizeof tail, "  %3u%%%s  %s / %s%s", percent, stem, clock_text(report.frames).c_str(),
                  clock_text(report.length).c_str(), speed);
    const std::string rest = tail;
    const size_t room = width > rest.size() + 1 ? width - 1 - rest.size() : 0;
    if (name.size() <= room) return name + rest;
    if (room <= 3) return (name.substr(name.size() - std::min(name.size(), room)) + rest).substr(0, width - 1);
    return "..." + name.substr(name.size() - (room - 3)) + rest;
}

void progress_begin(progress_display& d, size_t job, const std::string& name) {
    if (!d.shown) return;
    progress_entry entry;
    entry.job = job;
    entry.name = names::shown_name(name);
    entry.start = progress_clock::now();
    d.live.push_back(entry);
}

void progress_update(progress_display& d, size_t job, const progress_report& report) {
    for (progress_entry& entry : d.live)
        if (entry.job == job) entry.report = report;
}

void progress_end(progress_display& d, size_t job, bool completed) {
    const auto found =
        std::find_if(d.live.begin(), d.live.end(), [job](const progress_entry& e) { return e.job == job; });
    if (found == d.live.end()) return;
    if (completed) d.settled += progress_line(found->name, found->report, seconds_since(found->start), d.width) + "\n";
    d.live.erase(found);
}

void progress_message(progress_display& d, const std::string& line) {
    if (!d.shown) {
        write_text(STDERR_FILENO, line + "\n");
        return;
    }
    d.settled += line + "\n";
    progress_draw(d, true);
}

void progress_draw(progress_display& d, bool now) {
    if (!d.shown) return;
    const auto time = progress_clock::now();
    if (!now && time - d.last_draw < redraw_interval) return;
    d.last_draw = time;
    std::string text;
    // Back to the first live line, then the settled lines, then the live
    // ones again, each line cleared before it is written.
    if (d.drawn > 0) text += "\r\033[" + std::to_string(d.drawn) + "A";
    size_t start = 0;
    for (size_t end = d.settled.find('\n'); end != std::string::npos; end = d.settled.find('\n', start)) {
        text += "\033[K" + d.settled.substr(start, end - start) + "\n";
        start = end + 1;
    }
    d.settled.clear();
    for (const progress_entry& entry : d.live)
        text += "\033[K" + progress_line(entry.name, entry.report, seconds_since(entry.start), d.width) + "\n";
    text += "\033[J";
    d.drawn = d.live.size();
    write_text(d.fd, text);
}

}  // namespace tuntool
