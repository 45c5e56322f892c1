#include "app/guilog.h"
#include "tests/app/app_test_support.h"
#include "tests/support/capture_stdout.h"

#include <QDir>
#include <QFile>

#include <string>

namespace {

using Guilog = apptest::InTempDir;

TEST_F(Guilog, CreatesTheFileThenAppendsInCallOrder) {
    ASSERT_FALSE(QFile::exists(path("reboundgui.log")));
    guilog("Rebound::first(): n=%d\n", 1);
    EXPECT_EQ(logBytes(), "Rebound::first(): n=1\n");
    guilog("Rebound::second(): %s|", "no line end");
    guilog("%s\n", "third");
    EXPECT_EQ(logBytes(), "Rebound::first(): n=1\nRebound::second(): no line end|third\n");
}

TEST_F(Guilog, KeepsWhatTheFileAlreadyHeld) {
    QFile f(path("reboundgui.log"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("from an earlier run\n");
    f.close();
    guilog("Rebound::Rebound(): %s\n", "again");
    EXPECT_EQ(logBytes(), "from an earlier run\nRebound::Rebound(): again\n");
}

TEST_F(Guilog, StandardOutputGetsTheSameBytes) {
    const std::string out =
        testsupport::capture_stdout([] { guilog("x=%05.1f|%-3s|\n", 2.5, "ab"); });
    EXPECT_EQ(out, "x=002.5|ab |\n");
    EXPECT_EQ(logBytes().toStdString(), out);
}

// The buffer holds 4095 characters and the terminator: a message of that length is written
// whole, a longer one is cut there on both outputs, never written past the buffer.
TEST_F(Guilog, LongMessagesAreWrittenWholeUpToTheBufferAndCutBeyond) {
    struct Case {
        size_t length;
        size_t written;
    };
    for (const Case c : {Case{4095, 4095}, Case{4096, 4095}, Case{100000, 4095}}) {
        SCOPED_TRACE(c.length);
        QFile::remove(path("reboundgui.log"));
        const std::string message(c.length, 'm');
        const std::string out = testsupport::capture_stdout([&] { guilog("%s", message.c_str()); });
        EXPECT_EQ(out, message.substr(0, c.written));
        EXPECT_EQ(logBytes().toStdString(), message.substr(0, c.written));
    }
}

// A log that cannot be opened costs only the file copy; the next call tries again.
TEST_F(Guilog, UnopenableFileStillPrintsAndLaterCallsRetry) {
    ASSERT_TRUE(QDir().mkdir(path("reboundgui.log")));
    const std::string out = testsupport::capture_stdout([] { guilog("lost in the file\n"); });
    EXPECT_EQ(out, "lost in the file\n");
    ASSERT_TRUE(QDir().rmdir(path("reboundgui.log")));
    guilog("kept\n");
    EXPECT_EQ(logBytes(), "kept\n");
}

// A batch holds its lines until the outermost batch ends, then both outputs get them, in call
// order after what came before; a long burst is written as it reaches the bound.
TEST_F(Guilog, BatchWritesItsLinesTogetherAtTheEndInCallOrder) {
    const std::string out = testsupport::capture_stdout([this] {
        guilog("before\n");
        {
            const GuilogBatch outer;
            guilog("outer %d\n", 1);
            {
                const GuilogBatch inner;
                guilog("inner\n");
            }
            EXPECT_EQ(logBytes(), "before\n"); // the inner end writes nothing yet
            guilog("outer %d\n", 2);
        }
        EXPECT_EQ(logBytes(), "before\nouter 1\ninner\nouter 2\n");
    });
    EXPECT_EQ(out, "before\nouter 1\ninner\nouter 2\n");
}

TEST_F(Guilog, BatchWritesAsItReachesItsBoundAndLosesNothing) {
    const std::string line(999, 'p');
    const size_t lines = 2 * kGuilogBatchBytes / (line.size() + 1) + 1;
    std::string expected;
    for (size_t i = 0; i < lines; ++i)
        expected += line + "\n";
    const std::string out = testsupport::capture_stdout([&] {
        const GuilogBatch batch;
        for (size_t i = 0; i < lines; ++i)
            guilog("%s\n", line.c_str());
        const qint64 written = logBytes().size();
        EXPECT_GE(written, qint64(kGuilogBatchBytes));
        EXPECT_LT(written, qint64(expected.size()));
    });
    EXPECT_EQ(out, expected);
    EXPECT_EQ(logBytes().toStdString(), expected);
}

// The log is bounded: past kGuilogFileLimit it starts afresh and the full one becomes the
// previous file, replacing an older one; no line is split between the two, and the newest
// lines are in the log.
TEST_F(Guilog, LogStartsAfreshPastItsLimitKeepingOnePreviousFile) {
    QFile old(path(kGuilogPreviousFile));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older than the limit\n");
    old.close();
    const std::string line(999, 'q');
    const size_t lines = (kGuilogFileLimit + kGuilogFileLimit / 2) / (line.size() + 1);
    testsupport::capture_stdout([&] {
        const GuilogBatch batch;
        for (size_t i = 0; i < lines; ++i)
            guilog("%s\n", line.c_str());
        guilog("newest\n");
    });
    QFile previous(path(kGuilogPreviousFile));
    ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
    const QByteArray before = previous.readAll();
    EXPECT_LE(size_t(before.size()), kGuilogFileLimit);
    EXPECT_GT(size_t(before.size()), kGuilogFileLimit - kGuilogBatchBytes - line.size());
    EXPECT_TRUE(before.startsWith(QByteArray(line.data()) + "\n")) << "the older file is gone";
    EXPECT_TRUE(before.endsWith("\n"));
    const QByteArray now = logBytes();
    EXPECT_LE(size_t(now.size()), kGuilogFileLimit);
    EXPECT_TRUE(now.endsWith(QByteArray(line.data()) + "\nnewest\n"));
    EXPECT_EQ(size_t(before.size() + now.size()), lines * (line.size() + 1) + 7)
        << "every line in one of the two files";
}

} // namespace
