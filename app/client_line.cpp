#include "app/client_line.h"

namespace client_line {
namespace {

QByteArrayView upToBlank(QByteArrayView text) {
    const qsizetype blank = text.indexOf(' ');
    return blank >= 0 ? text.first(blank) : text;
}

} // namespace

QByteArrayView cutField(QByteArrayView s, QByteArrayView key) {
    const qsizetype k = s.indexOf(key);
    if (k <= 0) return s;
    QByteArrayView text = s.sliced(k + key.size());
    const qsizetype blank = text.indexOf(' ');
    return blank > 0 ? text.first(blank) : text;
}

QByteArrayView valueAfter(QByteArrayView line, QByteArrayView key, bool last) {
    const qsizetype k = last ? line.lastIndexOf(key) : line.indexOf(key);
    if (k < 0) return {};
    return upToBlank(line.sliced(k + key.size()));
}

uint toUnsigned(QByteArrayView text) {
    bool ok = false;
    const uint v = text.toUInt(&ok, 10);
    return ok ? v : 0;
}

int toInt(QByteArrayView text) {
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : 0;
}

double toSeconds(QByteArrayView text) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : 0.0;
}

} // namespace client_line
