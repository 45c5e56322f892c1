#include "app/line_splitter.h"

#include <gtest/gtest.h>

#include <QList>

#include <string>
#include <vector>

namespace {

// Feeds `chunks` in order to a splitter with `limit` and returns the lines as strings.
std::vector<std::string> split(const std::vector<std::string>& chunks, qsizetype limit,
                               LineSplitter* splitter = nullptr) {
    LineSplitter own(limit);
    LineSplitter& s = splitter ? *splitter : own;
    std::vector<std::string> lines;
    for (const std::string& chunk : chunks)
        s.feed(QByteArrayView(chunk.data(), qsizetype(chunk.size())),
               [&](QByteArrayView line) { lines.emplace_back(line.data(), line.size()); });
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineSplitter, CutsLinesAtLineEndsAcrossChunks) {
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        Lines lines;
    };
    const Case cases[] = {
        {"one chunk, several lines", {"a\nbb\n\nccc\n"}, {"a", "bb", "", "ccc"}},
        {"a line over three chunks", {"ab", "cd", "e\nf\n"}, {"abcde", "f"}},
        {"an unfinished last line waits", {"a\nbc"}, {"a"}},
        {"CR LF and a lone CR", {"a\r\nb\rc\r", "\n"}, {"a", "b\rc"}},
        {"a NUL inside a line", {std::string("a\0b\n", 4)}, {std::string("a\0b", 3)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(split(c.chunks, 100), c.lines);
    }
}

// An overlong line keeps its first `limit` bytes; the rest up to its line end is dropped, in
// one chunk or many, and the next line is whole again.
TEST(LineSplitter, KeepsAtMostTheLimitOfALine) {
    const std::string big(10000, 'x');
    EXPECT_EQ(split({big + "\nnext\n"}, 8), (Lines{"xxxxxxxx", "next"}));
    EXPECT_EQ(split({"abc", "defgh", "ijk\r", "\nok\n"}, 6), (Lines{"abcdef", "ok"}));
    EXPECT_EQ(split({"abcdef\r\n"}, 6), (Lines{"abcdef"})) << "the CR beyond the limit";
    EXPECT_EQ(split({"abcde\r\n"}, 6), (Lines{"abcde"})) << "the CR within the limit";

    // An endless line holds no more than the limit however much of it arrives.
    LineSplitter splitter(64);
    for (int i = 0; i < 1000; ++i)
        split({big}, 64, &splitter);
    EXPECT_EQ(splitter.pending(), 64);
    EXPECT_EQ(split({"tail\nnew\n"}, 64, &splitter), (Lines{std::string(64, 'x'), "new"}));
    EXPECT_EQ(splitter.pending(), 0);
}

TEST(LineSplitter, ClearForgetsAnUnfinishedLine) {
    LineSplitter splitter(100);
    split({"half a li"}, 100, &splitter);
    splitter.clear();
    EXPECT_EQ(split({"ne\nwhole\n"}, 100, &splitter), (Lines{"ne", "whole"}));
}

} // namespace
