// The window's commands: the in-process measurement, Close of an external run, Quit.
#include "app/rebound.h"

#include "app/guilog.h"
#include "engine/round_trip_client.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>

#include <utility>

namespace {

// Grace period between the terminate request and the kill of an external client.
constexpr int kKillDelayMs = 5000;

// The toolkit's base-10 conversion; a text that is no number gives 0.
int32_t fieldInt(const QLineEdit* field) {
    bool ok = false;
    const int v = field->text().toInt(&ok, 10);
    return ok ? v : 0;
}

double fieldDouble(const QLineEdit* field) {
    bool ok = false;
    const double v = field->text().toDouble(&ok);
    return ok ? v : 0.0;
}

} // namespace

// Runs on the GUI thread and blocks the window until the measurement is over; the external
// run is the responsive alternative.
void Rebound::cmdNetConn_clicked() {
    guilog("Rebound::cmdNetConn_clicked():\n");
    qlines.clear();
    qsendtm.clear();
    qrecvtm.clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);

    const int32_t recvsize = fieldInt(leRecvSize);
    const int32_t sendsize = fieldInt(leSendSize);
    const int32_t count = fieldInt(leCount);
    const double timeout = fieldDouble(leTimeout);
    const int32_t port = fieldInt(leIpPort);
    const QByteArray host = leIpHost->text().toLatin1();
    rebound_connect(host.constData(), port, timeout, count, sendsize, recvsize, reboundinfo);

    sendpkts = reboundinfo->sendpkts;
    recvpkts = reboundinfo->recvpkts;
    // The sequence number comes from the echo, so it may be INT32_MAX: wrap, never overflow.
    iterpkts = static_cast<int32_t>(static_cast<uint32_t>(reboundinfo->iterpkts) + 1u);

    QApplication::restoreOverrideCursor();
    clearChart();
    scheduleRepaint();
}

void Rebound::cmdNetClose_clicked() {
    guilog("Rebound::cmdNetClose_clicked():\n");
    if (!qproc) return;
    QProcess* proc = std::exchange(qproc, nullptr);
    // The window forgets the process: none of its later signals may reach the slots.
    proc->disconnect(this);
    if (proc->state() == QProcess::NotRunning) {
        proc->deleteLater();
    } else {
        connect(proc, &QProcess::finished, proc, &QObject::deleteLater);
        proc->terminate();
        QTimer::singleShot(kKillDelayMs, proc, [proc] {
            if (proc->state() != QProcess::NotRunning) proc->kill();
        });
    }
    if (std::exchange(qprocCursor, false)) QApplication::restoreOverrideCursor();
}

void Rebound::cmdQuit_clicked() {
    guilog("Rebound::cmdQuit_clicked():\n");
    cmdExitApp_clicked();
}

void Rebound::cmdExitApp_clicked() {
    guilog("Rebound::cmdExitApp_clicked():\n");
    QCoreApplication::exit(0);
}
