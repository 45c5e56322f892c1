#include "app/client_runner.h"

#include "app/client_record.h"
#include "app/guilog.h"
#include "app/run_marker.h"
#include "platform/nonblocking_output.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <unistd.h>
#include <utility>

QString clientProgram(const QString& applicationDir) {
    const QFileInfo beside(applicationDir + QLatin1String("/reboundcli"));
    if (beside.isFile() && beside.isExecutable()) return beside.absoluteFilePath();
    return QStringLiteral("reboundcli");
}

ClientRunner::ClientRunner(QObject* parent) : QObject(parent) {
    parseTimer_.setSingleShot(true);
    connect(&parseTimer_, &QTimer::timeout, this, &ClientRunner::continueParse);
}

ClientRunner::~ClientRunner() {
    if (process_) {
        // Cut first: a process killed while it is deleted still signals its end.
        process_->disconnect(this);
        delete std::exchange(process_, nullptr);
    }
    if (std::exchange(cursor_, false)) QApplication::restoreOverrideCursor();
}

void ClientRunner::start(const QString& program, const QStringList& arguments,
                         const run_description& run) {
    clearFindings();
    splitter_.clear();
    live_ = {};
    live_.planned = run.count_unlimited ? 0 : std::max(run.count, 0);
    live_.timeout = run.timeout;
    live_.state = RunState::running;
    report_ = std::make_unique<RunReport>(run);
    message_.clear();
    messageDone_ = false;

    process_ = new QProcess(this);
    process_->setProgram(program);
    process_->setArguments(arguments);
    // Standard error is passed on to the window's own; its first line is kept for the status
    // line (a refusal of the arguments says why there).
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    // The window ignores SIGPIPE; the client gets the default action back, as from a shell.
    process_->setChildProcessModifier([] { ::signal(SIGPIPE, SIG_DFL); });
    connect(process_, &QProcess::readyReadStandardOutput, this, &ClientRunner::outputReady);
    connect(process_, &QProcess::readyReadStandardError, this,
            [this, proc = process_] { readError(proc); });
    // On exit the reader first collects what is still waiting and releases the process; the
    // run's ending follows, then the parse, in the same delivery, so late lines are never lost.
    connect(process_, &QProcess::finished, this, &ClientRunner::outputReady);
    connect(process_, &QProcess::finished, this,
            [this, proc = process_](int code, QProcess::ExitStatus status) {
                readError(proc);
                clientEnded(code, status == QProcess::CrashExit);
            });
    connect(process_, &QProcess::finished, this, &ClientRunner::exited);

    const QString commandLine = (QStringList{program} + arguments).join(QLatin1Char(' '));
    guilog("Rebound::cmdNetConn_clicked(): qproc->arguments().join(\" \").ascii()=|%s|\n",
           commandLine.toUtf8().constData());

    process_->start();
    if (!process_->waitForStarted()) {
        guilog("Rebound::cmdNetConn_clicked(): if ( !proc->start() ): \n");
        live_.state = RunState::notStarted;
        live_.message = process_->errorString();
        emit liveChanged();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cursor_ = true;
    if (process_->state() == QProcess::Running)
        guilog("Rebound::cmdNetConn_clicked(): if (qproc->isRunning()):\n");
    else
        guilog("Rebound::cmdNetConn_clicked(): if (qproc->isRunning()): else: NOT RUNNING\n");
}

void ClientRunner::readOutput() {
    guilog("Rebound::slotReadFromStdout():\n");
    QProcess* proc = process_; // set: the connections are cut whenever it is forgotten
    if (!proc) return;
    // What the process holds is at most what one read of its pipe brought.
    const QByteArray bytes = proc->readAllStandardOutput();
    bool changed = false;
    splitter_.feed(bytes, [&](QByteArrayView line) {
        guilog("%s%.*s%s", kReadLinePrefix, int(line.size()), line.data(), kReadLineSuffix);
        output_.addLine(line);
        changed |= addClientLine(line, &live_, report_.get());
    });
    if (changed) emit liveChanged();
    if (proc->state() != QProcess::NotRunning) {
        guilog("Rebound::slotReadFromStdout(): if (qproc->isRunning()):\n");
        return;
    }
    guilog("Rebound::slotReadFromStdout(): if (qproc->isRunning()): else: NOT RUNNING\n");
    if (std::exchange(cursor_, false)) QApplication::restoreOverrideCursor();
    // The parse may still be due in this same signal delivery: only the reader is cut, and
    // the object goes once control is back in the event loop.
    disconnect(proc, &QProcess::readyReadStandardOutput, this, &ClientRunner::outputReady);
    disconnect(proc, &QProcess::finished, this, &ClientRunner::outputReady);
    proc->deleteLater();
    process_ = nullptr;
}

// Passed on at once, without waiting for the window's standard error; only the first line is
// kept, and only its first kClientMessageLimit bytes.
void ClientRunner::readError(QProcess* proc) {
    const QByteArray bytes = proc->readAllStandardError();
    static plat::nonblocking_output err(STDERR_FILENO);
    err.write_some(bytes.constData(), size_t(bytes.size()));
    if (messageDone_) return;
    const qsizetype end = bytes.indexOf('\n');
    message_.append(bytes.first(end >= 0 ? end : bytes.size()));
    message_.truncate(kClientMessageLimit);
    messageDone_ = end >= 0;
}

// How the run ended, from the client's exit status and what its lines brought.
void ClientRunner::clientEnded(int exitCode, bool crashed) {
    rebound_end end = rebound_end::stopped;
    if (!crashed && (exitCode == 0 || exitCode == kClientExitNoEcho)) end = rebound_end::normal;
    if (!crashed && exitCode == kClientExitEarly) end = rebound_end::early;
    live_.state = endState(end, live_.record);
    if (!crashed && exitCode == kClientExitUsage) {
        live_.state = RunState::refused;
        live_.message = QString::fromUtf8(message_).trimmed();
    }
    if (report_ && !report_->ended()) report_->run_ended({end, &live_.record, 0, 0});
    emit liveChanged();
}

void ClientRunner::parseExit() {
    parseTimer_.stop();
    output_.beginExitLog();
    parsing_ = true;
    continueParse();
}

void ClientRunner::continueParse() {
    if (!parsing_) return;
    if (!output_.continueExitLog(kExitLogSlice)) {
        parseTimer_.start(0); // input and paints get their turn between slices
        return;
    }
    endParse();
}

// A new run must not mix its findings into a log still being written: write the rest now.
void ClientRunner::finishParse() {
    if (!parsing_) return;
    parseTimer_.stop();
    while (!output_.continueExitLog(kExitLogSlice)) {}
    endParse();
}

void ClientRunner::endParse() {
    parsing_ = false;
    emit parsed();
}

void ClientRunner::forget() {
    if (!process_) return;
    QProcess* proc = std::exchange(process_, nullptr);
    proc->disconnect(this);
    if (live_.state == RunState::running) {
        live_.state = RunState::stopped;
        if (report_ && !report_->ended())
            report_->run_ended({rebound_end::stopped, &live_.record, 0, 0});
        emit liveChanged();
    }
    if (proc->state() == QProcess::NotRunning) {
        proc->deleteLater();
    } else {
        connect(proc, &QProcess::finished, proc, &QObject::deleteLater);
        proc->terminate();
        QTimer::singleShot(kKillDelayMs, proc, [proc] {
            if (proc->state() != QProcess::NotRunning) proc->kill();
        });
    }
    if (std::exchange(cursor_, false)) QApplication::restoreOverrideCursor();
}

void ClientRunner::clearFindings() {
    finishParse();
    output_.clear();
}
