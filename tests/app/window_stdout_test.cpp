// Standard output that nobody reads: the window's writes never wait for it, lines that do not
// fit are dropped and counted, the log file keeps them, and the program still answers SIGTERM.
#include "app/guilog.h"
#include "app/window_stdout.h"
#include "tests/app/app_test_support.h"
#include "tests/support/child_process.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using WindowStdout = apptest::InTempDir;

// Fills the pipe behind `writeEnd` until it takes nothing more.
void fillPipe(int writeEnd) {
    const int flags = ::fcntl(writeEnd, F_GETFL);
    ::fcntl(writeEnd, F_SETFL, flags | O_NONBLOCK);
    const std::string chunk(4096, 'f');
    while (::write(writeEnd, chunk.data(), chunk.size()) > 0) {}
    ::fcntl(writeEnd, F_SETFL, flags);
}

TEST_F(WindowStdout, AFullPipeCostsLinesOnStandardOutputNeverTheLog) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    fillPipe(ends[1]);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(ends[1], STDOUT_FILENO);
    const uint64_t droppedBefore = windowStdoutDropped();
    constexpr int kLines = 5000; // about 1.5 times the backlog
    const std::string text(300, 'w');
    for (int i = 0; i < kLines; ++i)
        guilog("Rebound::line(): %05d %s\n", i, text.c_str());
    const size_t backlog = windowStdoutBacklog();
    const uint64_t dropped = windowStdoutDropped() - droppedBefore;
    windowStdoutFinish(0); // what waits for that pipe is given up
    const size_t afterFinish = windowStdoutBacklog();
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(ends[0]);
    ::close(ends[1]);

    EXPECT_LE(backlog, kStdoutBacklogBytes);
    EXPECT_GT(dropped, 0u);
    EXPECT_LT(dropped, uint64_t(kLines));
    EXPECT_EQ(logLines().size(), kLines) << "the log file keeps every line";
    EXPECT_EQ(logLines().last(), QString("Rebound::line(): 04999 ") + QString::fromStdString(text));
    EXPECT_EQ(afterFinish, 0u);
}

// The program with its standard output into a FIFO that is full and never read: it starts,
// paints, and ends on SIGTERM with 143, saying on standard error what it could not print.
TEST_F(WindowStdout, ProgramWhoseOutputIsNeverReadAnswersSigterm) {
    const std::string fifo = path("out.fifo").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK); // held, never read
    ASSERT_GE(reader, 0);
    const int filler = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(filler, 0);
    fillPipe(filler);

    testsupport::ChildProcess program; // offscreen platform and this directory, inherited
    ASSERT_TRUE(program.start("/bin/sh", {"-c", "exec \"$0\" > \"$1\"",
                                          testsupport::program_path("rebound"), fifo}));
    ASSERT_TRUE(apptest::waitUntil(
        [&] { return logLines().contains("Rebound::paintEvent( QPaintEvent * ):"); }, 60000))
        << program.err();
    program.signal(SIGTERM);
    ASSERT_TRUE(program.wait(std::chrono::seconds(60)));
    EXPECT_TRUE(program.exited()) << "killed by signal " << program.term_signal();
    EXPECT_EQ(program.exit_code(), 128 + SIGTERM);
    EXPECT_EQ(logLines().last(), "Rebound::~Rebound()");
    EXPECT_NE(program.err().find("standard output did not take"), std::string::npos)
        << program.err();
    ::close(filler);
    ::close(reader);
}

} // namespace
