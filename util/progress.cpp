#include "util/progress.h"

#include "util/duration.h"

#include <climits>
#include <cmath>
#include <cstdarg>
#include <string>

namespace {

// Returns the terminal's cursor to the start of the line however long the last frame was.
void start_frame(std::string* frame) {
    frame->assign(8, ' ');
    frame->append(255, '\b');
}

__attribute__((format(printf, 2, 3))) void append(std::string* frame, const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        const size_t used = frame->size();
        frame->resize(used + size_t(n) + 1); // room for the terminator vsnprintf writes
        std::vsnprintf(frame->data() + used, size_t(n) + 1, format, again);
        frame->resize(used + size_t(n));
    }
    va_end(again);
}

// One write, so an unbuffered stream such as standard error still gets the frame at once.
void emit(std::FILE* out, const std::string& frame) {
    std::fwrite(frame.data(), 1, frame.size(), out);
    std::fflush(out);
}

int clamp_to_int(double value) {
    if (std::isnan(value)) return 0;
    return value >= INT_MAX ? INT_MAX : value <= INT_MIN ? INT_MIN : static_cast<int>(value);
}

char g_spinner = '-';

char next_spinner(char c) {
    constexpr char kSteps[] = {'-', '\\', '|', '/'};
    for (size_t k = 0; k < 4; ++k)
        if (kSteps[k] == c) return kSteps[(k + 1) % 4];
    return kSteps[0];
}

} // namespace

uint64_t print_progress(const char* label, uint64_t done, uint64_t total, int start, int now,
                        std::FILE* out) {
    const double pct = static_cast<double>(done) * 100 / static_cast<double>(total);
    const double spent = static_cast<double>(now) - static_cast<double>(start);
    const double projected = pct > 0.001 ? std::trunc(spent * 100 / pct) : 0;

    char spent_text[kDurationTextSize], projected_text[kDurationTextSize];
    format_duration(spent, spent_text, 0);
    format_duration(projected, projected_text, 0);

    std::string frame;
    start_frame(&frame);
    append(&frame, "%s progress=%07.3f %% timespent=%s timeelapsed=%s", label ? label : "", pct,
           spent_text, projected_text);
    emit(out, frame);
    return done;
}

void print_progressbar(const char* label, const char* trailing, int done, int total, int width,
                       std::FILE* out) {
    std::string frame;
    start_frame(&frame);
    if (label) frame += label;
    const size_t columns = width > 0 ? static_cast<size_t>(width) : 0;
    if (total > 0) {
        const double f = static_cast<double>(done) / total;
        append(&frame, " %03d%%", clamp_to_int(std::trunc(f * 100)));
        const int filled = clamp_to_int(std::trunc(width * f));
        const size_t bar = filled > 0 ? std::min(static_cast<size_t>(filled), columns) : 0;
        frame += " [ ";
        frame.append(bar, '=');
        frame.append(columns - bar, ' ');
        frame += " ] ";
    } else {
        frame += " ... ";
        g_spinner = next_spinner(g_spinner);
        frame += " [ ";
        // The blanks after the spinner make pad + 1 + blanks = width with pad as computed,
        // also where it is negative and no blanks go before the spinner (width 1: one blank).
        const int pad = width / 2 - 1;
        const int after = width - pad - 1;
        frame.append(pad > 0 ? static_cast<size_t>(pad) : 0, ' ');
        frame += g_spinner;
        frame.append(after > 0 ? static_cast<size_t>(after) : 0, ' ');
        frame += " ]";
    }
    if (trailing) append(&frame, " %s", trailing);
    emit(out, frame);
}
