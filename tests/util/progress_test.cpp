#include "tests/support/capture_stdout.h"
#include "util/progress.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

namespace {

using testsupport::capture_stdout;
using testsupport::capture_stdout_in_child;

// Every frame starts by returning the cursor to the start of the line.
const std::string kRewind = std::string(8, ' ') + std::string(255, '\b');

std::string bar(const char* label, const char* trailing, int done, int total, int width) {
    return capture_stdout([&] { print_progressbar(label, trailing, done, total, width); });
}

TEST(PrintProgressbar, BarFrames) {
    const struct {
        const char* label;
        const char* trailing;
        int done, total, width;
        std::string frame;
    } cases[] = {
        {"lbl", "tail", 5, 10, 10, "lbl 050% [ =====      ]  tail"}, // " ] " then " tail"
        {"lbl", nullptr, 5, 10, 10, "lbl 050% [ =====      ] "},
        {nullptr, nullptr, 10, 10, 4, " 100% [ ==== ] "},
        {"lbl", nullptr, 15, 10, 10, "lbl 150% [ ========== ] "}, // done above total: full
        {"lbl", nullptr, -5, 10, 10, "lbl -50% [            ] "}, // negative done: blank
        {"lbl", nullptr, 0, 10, 10, "lbl 000% [            ] "},
        {"lbl", nullptr, 1, 3, 10, "lbl 033% [ ===        ] "},
        {"lbl", nullptr, 5, 10, 0, "lbl 050% [  ] "},
        {"lbl", nullptr, 5, 10, -3, "lbl 050% [  ] "},
        {nullptr, nullptr, INT_MAX, 1, 3, " 2147483647% [ === ] "}, // percent saturates
    };
    for (const auto& c : cases)
        EXPECT_EQ(bar(c.label, c.trailing, c.done, c.total, c.width), kRewind + c.frame) << c.frame;
}

// The spinner frame of width 10 around character `c`: 4 blanks, c, 5 blanks.
std::string spinner_frame(char c) {
    return kRewind + "L ...  [     " + c + "      ] t";
}

TEST(PrintProgressbar, SpinnerStartsWithBackslashInAFreshProcess) {
    const std::string out = capture_stdout_in_child([] {
        for (int k = 0; k < 5; ++k)
            print_progressbar("L", "t", 7, 0, 10);
    });
    EXPECT_EQ(out, spinner_frame('\\') + spinner_frame('|') + spinner_frame('/') +
                       spinner_frame('-') + spinner_frame('\\'));
}

TEST(PrintProgressbar, SpinnerWidths) {
    // Whatever the spinner shows now, pad = width / 2 - 1 blanks go before it (none when pad
    // is below 1) and width - pad - 1 after it: width 1 has pad -1, so one blank follows.
    const struct {
        int width;
        size_t before, after;
    } cases[] = {{10, 4, 5}, {11, 4, 6}, {4, 1, 2},  {3, 0, 2}, {2, 0, 1},
                 {1, 0, 1},  {0, 0, 0},  {-1, 0, 0}, {-4, 0, 0}};
    for (const auto& c : cases) {
        const std::string out = bar(nullptr, nullptr, 0, -1, c.width);
        ASSERT_EQ(out.rfind(kRewind + " ...  [ ", 0), 0u) << c.width;
        const std::string body = out.substr(kRewind.size() + 8);
        ASSERT_EQ(body.size(), c.before + 1 + c.after + 2) << c.width;
        EXPECT_EQ(body.substr(0, c.before), std::string(c.before, ' ')) << c.width;
        EXPECT_NE(std::string("-\\|/").find(body[c.before]), std::string::npos) << c.width;
        EXPECT_EQ(body.substr(c.before + 1), std::string(c.after, ' ') + " ]") << c.width;
    }
}

TEST(PrintProgressbar, WritesToTheGivenStreamOnly) {
    std::FILE* other = std::tmpfile();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(capture_stdout([&] { print_progressbar("x", "1/2", 1, 2, 4, other); }), "");
    std::rewind(other);
    char buf[512] = {};
    const size_t n = std::fread(buf, 1, sizeof buf - 1, other);
    std::fclose(other);
    EXPECT_EQ(std::string(buf, n), kRewind + "x 050% [ ==   ]  1/2");
}

TEST(PrintProgress, PercentSpentAndProjectedTime) {
    uint64_t returned = 0;
    std::string out =
        capture_stdout([&] { returned = print_progress("copy", 50, 100, 1000, 1010); });
    EXPECT_EQ(returned, 50u);
    EXPECT_EQ(out, kRewind + "copy progress=050.000 % timespent=00:00:10 timeelapsed=00:00:20");

    out = capture_stdout([] { print_progress("big", 1, 3, 0, 3600); });
    EXPECT_EQ(out, kRewind + "big progress=033.333 % timespent=01:00:00 timeelapsed=03:00:00");

    // Too little done to project anything.
    out = capture_stdout([] { print_progress("slow", 1, 1000000, 0, 5); });
    EXPECT_EQ(out, kRewind + "slow progress=000.000 % timespent=00:00:05 timeelapsed=00:00:00");
}

TEST(PrintProgress, TotalZeroProjectsNothing) {
    for (uint64_t done : {0u, 5u}) {
        uint64_t returned = 1;
        const std::string out =
            capture_stdout([&] { returned = print_progress("z", done, 0, 0, 30); });
        EXPECT_EQ(returned, done);
        ASSERT_EQ(out.rfind(kRewind + "z progress=", 0), 0u) << out;
        const std::string tail = out.substr(kRewind.size());
        EXPECT_TRUE(tail.find("inf") != std::string::npos || tail.find("nan") != std::string::npos)
            << tail;
        EXPECT_NE(tail.find(" % timespent=00:00:30 timeelapsed=00:00:00"), std::string::npos)
            << tail;
        EXPECT_EQ(tail.find('\n'), std::string::npos);
    }
}

} // namespace
