// Cuts a byte stream into lines without their line ends ("\n", and a "\r" right before it),
// keeping at most `limit` bytes of any line: the rest of a longer line is dropped up to its line
// end. Neither an endless line nor a flood of lines costs more than `limit` bytes of memory.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

class LineSplitter {
  public:
    explicit LineSplitter(qsizetype limit) : limit_(limit) {}

    // Calls `line` for every line that `bytes` completes, in order; an unfinished last line
    // waits for the next call.
    void feed(QByteArrayView bytes, const std::function<void(QByteArrayView)>& line);

    // Forgets an unfinished line.
    void clear();

    // Bytes of the unfinished line held.
    qsizetype pending() const { return partial_.size(); }

  private:
    qsizetype limit_;
    QByteArray partial_;
    bool cut_ = false; // bytes of the unfinished line were dropped
};
