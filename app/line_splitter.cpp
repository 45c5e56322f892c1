#include "app/line_splitter.h"

#include <algorithm>

void LineSplitter::feed(QByteArrayView bytes, const std::function<void(QByteArrayView)>& line) {
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        QByteArrayView piece = end >= 0 ? bytes.first(end) : bytes;
        bytes = end >= 0 ? bytes.sliced(end + 1) : QByteArrayView();
        const qsizetype room = std::max<qsizetype>(limit_ - partial_.size(), 0);
        if (piece.size() > room) {
            piece = piece.first(room);
            cut_ = true;
        }
        if (end < 0) {
            partial_.append(piece);
            return;
        }
        // A whole line within this piece of the stream needs no copy.
        QByteArrayView whole = piece;
        if (!partial_.isEmpty()) {
            partial_.append(piece);
            whole = partial_;
        }
        if (!cut_ && whole.endsWith('\r')) whole.chop(1);
        line(whole);
        partial_.resize(0);
        cut_ = false;
    }
}

void LineSplitter::clear() {
    partial_.clear();
    cut_ = false;
}
