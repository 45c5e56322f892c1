// The external run: reboundcli started with the six field texts, its standard output
// collected line by line while the event loop keeps running, and parsed when it ends.
#include "app/rebound.h"

#include "app/client_output.h"
#include "app/guilog.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>

#include <utility>

QString clientProgram(const QString& applicationDir) {
    const QFileInfo beside(applicationDir + QLatin1String("/reboundcli"));
    if (beside.isFile() && beside.isExecutable()) return beside.absoluteFilePath();
    return QStringLiteral("reboundcli");
}

void Rebound::cmdNetConnCli_clicked() {
    guilog("Rebound::cmdNetConn_clicked():\n");
    if (qproc) {
        guilog("Rebound::cmdNetConn_clicked(): if (qproc!=NULL): return;\n");
        return;
    }
    qlines.clear();
    qsendtm.clear();
    qrecvtm.clear();

    qproc = new QProcess(this);
    qproc->setProgram(clientProgram(QCoreApplication::applicationDirPath()));
    // The field texts go as typed; reboundcli judges them.
    qproc->setArguments({QStringLiteral("-h"), leIpHost->text(), QStringLiteral("-p"),
                         leIpPort->text(), QStringLiteral("-t"), leTimeout->text(),
                         QStringLiteral("-c"), leCount->text(),
                         QStringLiteral("--sendsize=") + leSendSize->text(),
                         QStringLiteral("--recvsize=") + leRecvSize->text()});
    // Standard error is not read; it reaches the window's own standard error.
    qproc->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(qproc, &QProcess::readyReadStandardOutput, this, &Rebound::slotReadFromStdout);
    // On exit the reader first collects what is still waiting and releases the process; the
    // parse follows in the same delivery, so late lines are never lost.
    connect(qproc, &QProcess::finished, this, &Rebound::slotReadFromStdout);
    connect(qproc, &QProcess::finished, this, &Rebound::slotProcessExited);

    const QString commandLine = (QStringList{qproc->program()} + qproc->arguments()).join(' ');
    guilog("Rebound::cmdNetConn_clicked(): qproc->arguments().join(\" \").ascii()=|%s|\n",
           commandLine.toUtf8().constData());

    qproc->start();
    if (!qproc->waitForStarted()) {
        // qproc stays set: only Close returns the window to idle.
        guilog("Rebound::cmdNetConn_clicked(): if ( !proc->start() ): \n");
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qprocCursor = true;
    if (qproc->state() == QProcess::Running)
        guilog("Rebound::cmdNetConn_clicked(): if (qproc->isRunning()):\n");
    else
        guilog("Rebound::cmdNetConn_clicked(): if (qproc->isRunning()): else: NOT RUNNING\n");
}

void Rebound::slotReadFromStdout() {
    guilog("Rebound::slotReadFromStdout():\n");
    QProcess* proc = qproc; // set: the connections are cut whenever it is forgotten
    if (!proc) return;
    while (proc->canReadLine()) {
        QByteArray line = proc->readLine();
        if (line.endsWith('\n')) line.chop(1);
        if (line.endsWith('\r')) line.chop(1);
        guilog("Rebound::slotReadFromStdout(): line=|%s|\n", line.constData());
        qlines.append(QString::fromLocal8Bit(line));
    }
    if (proc->state() != QProcess::NotRunning) {
        guilog("Rebound::slotReadFromStdout(): if (qproc->isRunning()):\n");
        return;
    }
    guilog("Rebound::slotReadFromStdout(): if (qproc->isRunning()): else: NOT RUNNING\n");
    if (std::exchange(qprocCursor, false)) QApplication::restoreOverrideCursor();
    // The parse may still be due in this same signal delivery: only the reader is cut, and
    // the object goes once control is back in the event loop.
    disconnect(proc, &QProcess::readyReadStandardOutput, this, &Rebound::slotReadFromStdout);
    disconnect(proc, &QProcess::finished, this, &Rebound::slotReadFromStdout);
    proc->deleteLater();
    qproc = nullptr;
}

void Rebound::slotProcessExited() {
    ClientRun run = parseClientOutput(qlines);
    qsendtm = std::move(run.qsendtm);
    qrecvtm = std::move(run.qrecvtm);
    sendpkts = run.sendpkts;
    recvpkts = run.recvpkts;
    iterpkts = run.iterpkts;
    clearChart();
    scheduleRepaint();
}
