// The external run with the real reboundcli against a real reboundsrv (or a peer the test plays,
// or a stand-in client script where the output itself is the point).
#include "app/chart.h"
#include "app/rebound.h"
#include "tests/app/app_test_support.h"
#include "tests/support/udp_peer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>

namespace {

class ClientRunnerTest : public apptest::InTempDir {
  protected:
    // The test program does not stand beside reboundcli, so the program search finds it.
    void SetUp() override {
        apptest::InTempDir::SetUp();
        path_ = qgetenv("PATH");
        setSearchPath(QByteArray(REBOUND_BIN_DIR) + ":" + path_);
        window = std::make_unique<Rebound>();
    }
    void TearDown() override {
        window.reset();
        qputenv("PATH", path_);
        apptest::InTempDir::TearDown();
    }
    void setSearchPath(const QByteArray& value) { qputenv("PATH", value); }

    // A stand-in "reboundcli": a shell script found first on the program search path.
    void useClientScript(const QByteArray& body) {
        QFile script(path("bin/reboundcli"));
        ASSERT_TRUE(QDir().mkpath(path("bin")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n" + body + "\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        setSearchPath(QFile::encodeName(path("bin")) + ":" + path_);
    }

    void setFields(int port, const char* timeout, const char* count) {
        const std::pair<const char*, QString> fields[] = {
            {"leIpHost", "127.0.0.1"}, {"leIpPort", QString::number(port)},
            {"leTimeout", timeout},    {"leCount", count},
            {"leSendSize", "100"},     {"leRecvSize", "100"}};
        for (const auto& [name, text] : fields)
            window->findChild<QLineEdit*>(name)->setText(text);
    }
    void click(const char* button) { window->findChild<QPushButton*>(button)->click(); }
    QPointer<QProcess> process() const { return const_cast<QProcess*>(window->clientProcess()); }
    // Waits for the end of an external run: the process released and gone, the exit-time log
    // written.
    bool runEnds() {
        QPointer<QProcess> p = process();
        return apptest::waitUntil([&] { return window->clientProcess() == nullptr; }) &&
               apptest::waitUntil([&] { return p.isNull(); }) &&
               apptest::waitUntil([&] { return !window->clientRunner().parsing(); });
    }
    bool waitCursorShown() const {
        return QApplication::overrideCursor() &&
               QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    }
    // The client's lines as the reader logged them.
    QStringList readLines(qsizetype from = 0) const {
        QStringList lines;
        for (const QString& line : logLines().mid(from))
            if (line.startsWith("Rebound::slotReadFromStdout(): line=|"))
                lines.append(line.section("line=|", 1).chopped(1));
        return lines;
    }
    QImage chart() const { return window->findChild<QLabel*>("qDrawChart")->grab().toImage(); }

    std::unique_ptr<Rebound> window;
    QByteArray path_;
};

// The times the client printed after " time=" on its phase-1 lines of one kind.
QList<double> printedTimes(const QStringList& lines, const char* transfer) {
    QList<double> times;
    for (const QString& line : lines)
        if (line.contains("rebound_connect():1 ") && line.contains(transfer))
            times.append(line.section(" time=", 1).toDouble());
    return times;
}

TEST_F(ClientRunnerTest, RunReadsTheLinesAndParsesThemWhenTheClientEnds) {
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    setFields(responder.port(), "2", "10");
    const qsizetype before = logLines().size();
    click("qpbNetConnCli");
    ASSERT_NE(window->clientProcess(), nullptr);
    EXPECT_TRUE(waitCursorShown());
    ASSERT_TRUE(runEnds());

    EXPECT_EQ(window->counters().sendpkts, 10);
    EXPECT_EQ(window->counters().recvpkts, 10);
    EXPECT_EQ(window->counters().iterpkts, 10);
    const QStringList lines = readLines(before);
    EXPECT_EQ(window->clientSendTimes(), printedTimes(lines, "udp_send"));
    EXPECT_EQ(window->clientRecvTimes(), printedTimes(lines, "udp_recv"));
    EXPECT_EQ(window->clientSendTimes().size(), 10);
    EXPECT_EQ(window->clientRecvTimes().size(), 10);
    EXPECT_TRUE(lines.contains("rebound_connect(): recvpkts/sendpkts=100.000[%]"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The chart's record is that run's: both halves of the chart describe it.
    EXPECT_EQ(window->record().sendpkts, 10);
    EXPECT_EQ(window->record().recvpkts, 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(window->record().recvtime[i], window->clientRecvTimes()[i]) << i;

    const QStringList log = logLines().mid(before);
    ASSERT_GE(log.size(), 3);
    EXPECT_EQ(log[0], "Rebound::cmdNetConn_clicked():");
    EXPECT_EQ(log[1], QString("Rebound::cmdNetConn_clicked(): qproc->arguments().join(\" \")"
                              ".ascii()=|reboundcli -h 127.0.0.1 -p %1 -t 2 -c 10 "
                              "--sendsize=100 --recvsize=100|")
                          .arg(responder.port()));
    EXPECT_EQ(log[2], "Rebound::cmdNetConn_clicked(): if (qproc->isRunning()):");
    const QString ended =
        "Rebound::slotReadFromStdout(): if (qproc->isRunning()): else: NOT RUNNING";
    EXPECT_EQ(log.count(ended), 1);
    const qsizetype parse = log.indexOf("Rebound::slotProcessExited():");
    ASSERT_GT(parse, 0);
    EXPECT_EQ(log[parse - 1], ended) << "every line is read before the parse";
    EXPECT_EQ(log.mid(parse).filter("Rebound::slotProcessExited(): SEND qstrsend=|").size(), 10);
    EXPECT_EQ(log.mid(parse).filter("Rebound::slotProcessExited(): RECV qstrrecv=|").size(), 10);
    const qsizetype sizes =
        log.indexOf("Rebound::slotProcessExited(): qsendtm->size()=10 qrecvtm->size()=10");
    EXPECT_GT(sizes, parse);
    // The parse schedules a repaint of the chart frame, which shows the run's curve.
    EXPECT_TRUE(apptest::waitUntil([&] {
        return logLines().mid(before + sizes).contains("Rebound::paintEvent( QPaintEvent * ):");
    }));
    EXPECT_TRUE(apptest::hasCurve(chart()));
}

// A million probes take far longer than the test: the window's own repaints show the run's
// echoes while the client is still running.
TEST_F(ClientRunnerTest, ChartShowsTheEchoesWhileTheRunGoesOn) {
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    setFields(responder.port(), "2", "1000000");
    ASSERT_FALSE(apptest::hasCurve(chart()));
    const qsizetype before = logLines().size();
    click("qpbNetConnCli");
    const QPointer<QProcess> client = process();
    ASSERT_FALSE(client.isNull());

    // Two echoes at least: a lone vertex would lie under the vertical axis.
    static const QRegularExpression drawn(R"(reboundinfo->recvpkts=([2-9]|\d\d+)$)");
    ASSERT_TRUE(apptest::waitUntil([&] {
        for (const QString& line : logLines().mid(before))
            if (drawn.match(line).hasMatch()) return true;
        return false;
    }));
    ASSERT_FALSE(client.isNull());
    EXPECT_EQ(client->state(), QProcess::Running);
    EXPECT_GT(window->record().recvpkts, 0);
    EXPECT_GE(window->counters().sendpkts, window->record().recvpkts);
    EXPECT_TRUE(apptest::hasCurve(chart()));
    click("qpbNetClose");
    // Close ends the client; the chart keeps what arrived.
    ASSERT_TRUE(apptest::waitUntil([&] { return client.isNull(); }));
    EXPECT_TRUE(apptest::hasCurve(chart()));
}

TEST_F(ClientRunnerTest, SecondLaunchIsRefusedAndCloseEndsALongRun) {
    testsupport::UdpPeer silent; // takes the probes, never answers
    setFields(silent.port(), "5", "1000");
    click("qpbNetConnCli");
    const QPointer<QProcess> first = process();
    ASSERT_FALSE(first.isNull());
    // The window keeps running: lines arrive while the client still waits for echoes.
    ASSERT_TRUE(apptest::waitUntil([&] { return !readLines().isEmpty(); }));
    EXPECT_EQ(first->state(), QProcess::Running);

    click("qpbNetConnCli");
    EXPECT_EQ(logLines().last(), "Rebound::cmdNetConn_clicked(): if (qproc!=NULL): return;");
    EXPECT_EQ(process(), first);

    click("qpbNetClose");
    const qsizetype closed = logLines().size();
    EXPECT_EQ(logLines().last(), "Rebound::cmdNetClose_clicked():");
    EXPECT_EQ(window->clientProcess(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The client ends on the terminate request, and its object goes with it; none of its
    // last signals reaches the window.
    ASSERT_TRUE(apptest::waitUntil([&] { return first.isNull(); }));
    for (const QString& line : logLines().mid(closed))
        EXPECT_FALSE(line.startsWith("Rebound::slot")) << line.toStdString();

    // A new run can start at once.
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    setFields(responder.port(), "2", "3");
    click("qpbNetConnCli");
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(window->counters().sendpkts, 3);
    EXPECT_EQ(window->counters().recvpkts, 3);
    EXPECT_EQ(window->clientRecvTimes().size(), 3);
}

// Connect while an external run is going: the chart belongs to the newer, in-process run, also
// after the external client ends and its output is parsed. The test plays the external run's
// responder and answers only once the in-process run is over.
TEST_F(ClientRunnerTest, ConnectDuringAnExternalRunKeepsTheChartOnTheNewerRun) {
    testsupport::UdpPeer peer;
    setFields(peer.port(), "30", "1");
    click("qpbNetConnCli");
    const auto probe = peer.receive(std::chrono::seconds(30));
    ASSERT_TRUE(probe.has_value());

    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    setFields(responder.port(), "2", "5");
    click("qpbNetConn");
    ASSERT_NE(window->clientProcess(), nullptr) << "the external client still waits";
    EXPECT_EQ(window->counters().recvpkts, 5);

    ASSERT_TRUE(peer.send_to(probe->from_port, probe->bytes));
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(window->clientRunner().run().recvpkts, 1) << "the external output was parsed";
    EXPECT_EQ(window->counters().sendpkts, 5);
    EXPECT_EQ(window->counters().recvpkts, 5);
    EXPECT_EQ(window->record().recvpkts, 5);
}

TEST_F(ClientRunnerTest, ClientThatCannotStartStaysKnownUntilClose) {
    QTemporaryDir nowhere;
    setSearchPath(QFile::encodeName(nowhere.path()));
    setFields(9, "1", "1");
    click("qpbNetConnCli");
    EXPECT_EQ(logLines().last(), "Rebound::cmdNetConn_clicked(): if ( !proc->start() ): ");
    EXPECT_NE(window->clientProcess(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "no cursor for a run that never ran";

    click("qpbNetConnCli");
    EXPECT_EQ(logLines().last(), "Rebound::cmdNetConn_clicked(): if (qproc!=NULL): return;");

    click("qpbNetClose");
    EXPECT_EQ(window->clientProcess(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// reboundcli refuses a count that is no number and prints nothing on standard output: the
// parse then finds no line, and the chart shows that empty run, not the one before.
TEST_F(ClientRunnerTest, ClientThatWritesNothingLeavesZeroCountersAndEmptyLists) {
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    setFields(responder.port(), "2", "3");
    click("qpbNetConn");
    ASSERT_EQ(window->counters().sendpkts, 3);

    setFields(responder.port(), "2", "many");
    click("qpbNetConnCli");
    ASSERT_TRUE(runEnds());
    EXPECT_TRUE(readLines().isEmpty());
    EXPECT_TRUE(window->clientSendTimes().isEmpty());
    EXPECT_TRUE(window->clientRecvTimes().isEmpty());
    EXPECT_EQ(window->counters().sendpkts, 0);
    EXPECT_EQ(window->counters().recvpkts, 0);
    EXPECT_EQ(window->counters().iterpkts, 0);
    EXPECT_EQ(window->record().recvpkts, 0);
    EXPECT_TRUE(
        logLines().contains("Rebound::slotProcessExited(): qsendtm->size()=0 qrecvtm->size()=0"));
}

// An endless line costs the window no more than the line limit, and a long line is cut there
// while the lines after it are read whole.
TEST_F(ClientRunnerTest, LineLengthIsBounded) {
    useClientScript("exec awk 'BEGIN { while (1) printf \"0123456789\" }'");
    setFields(1, "1", "1");
    click("qpbNetConnCli");
    const QString reader = "Rebound::slotReadFromStdout():";
    // Many reads of the pipe, each of them held to the limit.
    ASSERT_TRUE(apptest::waitUntil([&] { return logLines().count(reader) >= 50; }));
    EXPECT_LE(window->clientRunner().heldBytes(), kClientLineLimit);
    EXPECT_TRUE(readLines().isEmpty());
    click("qpbNetClose");

    useClientScript("head -c 100000 /dev/zero | tr '\\0' x; echo; echo 'after it'; "
                    "echo 'rebound_connect(): sendpkts=7'");
    const qsizetype before = logLines().size();
    click("qpbNetConnCli");
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(readLines(before), QStringList({QString(kClientLineLimit, 'x'), "after it",
                                              "rebound_connect(): sendpkts=7"}));
    EXPECT_EQ(window->counters().sendpkts, 7);
}

// A stand-in client printing send- and receive-shaped lines whose fields are thousands of
// characters long (two of 1900 in each line, which keeps the line within the line limit, so it
// is parsed rather than cut): what the window holds per line stays a few dozen bytes.
TEST_F(ClientRunnerTest, LongFieldsCostAFewBytesALine) {
    constexpr int kLines = 2000;
    useClientScript(QByteArray("exec awk 'BEGIN { f = sprintf(\"%1900s\", \"\"); gsub(/ /, \"9\", f); "
                               "for (i = 0; i < ") +
                    QByteArray::number(kLines) +
                    "; i++) { printf \"T rebound_connect():1 i=000000 S=%s R=000000 "
                    "sendsize=udp_send(127.0.0.1:1): argssize=1 sendsize=1 time=%s\\n\", f, f; "
                    "printf \"T rebound_connect():1 i=000000 S=000001 R=%s "
                    "sendsize=udp_recv(127.0.0.1:1): recvsize=1 iterpkts=000000 time=%s\\n\", f, "
                    "f } }'");
    setFields(1, "1", "1");
    click("qpbNetConnCli");
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(window->clientSendTimes().size(), kLines);
    EXPECT_EQ(window->clientRecvTimes().size(), kLines);
    EXPECT_LE(window->clientRunner().heldBytes(), 2 * kLines * (2 * (kNotedTextLimit + 1) + 5));
}

// A long output's exit-time log is written a slice at a time from the event loop, complete and
// in line order.
TEST_F(ClientRunnerTest, ExitTimeLogOfALongOutputIsWrittenInSlices) {
    constexpr int kLines = 3000;
    useClientScript(QByteArray("awk 'BEGIN { for (i = 0; i < ") + QByteArray::number(kLines) +
                    "; i++) printf \"T rebound_connect():1 i=%06d S=%06d R=%06d "
                    "sendsize=udp_send(127.0.0.1:1): argssize=1 sendsize=1 time=0.000001\\n\", "
                    "i, i, i; print \"rebound_connect(): sendpkts=3000\" }'");
    bool slicedAfterExit = false;
    const ClientRunner* runner = &window->clientRunner();
    QObject::connect(runner, &ClientRunner::exited, window.get(),
                     [&] { slicedAfterExit = runner->parsing(); });
    setFields(1, "1", "1");
    click("qpbNetConnCli");
    ASSERT_TRUE(runEnds());
    EXPECT_TRUE(slicedAfterExit) << "the parse was still under way when the exit was handled";
    EXPECT_EQ(window->clientSendTimes().size(), kLines);
    EXPECT_EQ(window->counters().sendpkts, kLines);

    const QStringList log = logLines();
    const qsizetype parse = log.indexOf("Rebound::slotProcessExited():");
    const qsizetype sizes =
        log.indexOf("Rebound::slotProcessExited(): qsendtm->size()=3000 qrecvtm->size()=0");
    ASSERT_GT(parse, 0);
    ASSERT_GT(sizes, parse);
    int expected = 0;
    for (const QString& line : log.mid(parse, sizes - parse)) {
        if (!line.startsWith("Rebound::slotProcessExited(): SEND qstrsend=|")) continue;
        EXPECT_EQ(line, QString::asprintf("Rebound::slotProcessExited(): SEND qstrsend=|%06d| "
                                          "qstrtime=|0.000001|",
                                          expected));
        ++expected;
    }
    EXPECT_EQ(expected, kLines);
}

// The status line says how an external run ended, in each way it can end.
TEST_F(ClientRunnerTest, StatusLineSaysHowTheRunEnded) {
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    testsupport::UdpPeer silent;
    const QByteArray sendLine = "T rebound_connect():1 i=000000 S=000000 R=000000 "
                                "sendsize=udp_send(127.0.0.1:1): argssize=100 sendsize=100 "
                                "time=0.000010";
    struct Case {
        const char* name;
        QByteArray script; // a stand-in client; empty: the real one
        int port;
        const char* count;
        const char* recvSize;
        bool close; // Close once the first line was read
        const char* status; // what the status line starts with
        const char* holds;  // and holds
    };
    const Case cases[] = {
        {"finished", "", responder.port(), "5", "100", false,
         "finished: 5 of 5 probes answered, 0 lost", ""},
        {"no echo", "", silent.port(), "3", "100", false, "no echo: none of 3 probes was answered",
         ""},
        {"refused count", "", responder.port(), "many", "100", false,
         "reboundcli refused its arguments: ", "'many'"},
        {"refused RecvSize", "", responder.port(), "5", "100000", false,
         "reboundcli refused its arguments: ", "100000"},
        {"ended early", "echo '" + sendLine + "'; exit 1", 1, "5", "100", false,
         "ended early after 1 of 5 probes", ""},
        {"stopped by Close", "echo '" + sendLine + "'; exec sleep 600", 1, "5", "100", true,
         "stopped after 1 of 5 probes", ""},
        {"killed", "echo '" + sendLine + "'; kill -9 $$", 1, "5", "100", false,
         "stopped after 1 of 5 probes", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.script.isEmpty())
            setSearchPath(QByteArray(REBOUND_BIN_DIR) + ":" + path_);
        else
            useClientScript(c.script);
        setFields(c.port, "0.2", c.count);
        window->findChild<QLineEdit*>("leRecvSize")->setText(c.recvSize);
        click("qpbNetConnCli");
        if (c.close) {
            ASSERT_TRUE(apptest::waitUntil([&] { return window->results().span == 1; }));
            click("qpbNetClose");
        } else {
            ASSERT_TRUE(runEnds());
        }
        const QString status = window->findChild<QLabel*>("tlStatus")->text();
        EXPECT_TRUE(status.startsWith(c.status)) << status.toStdString();
        EXPECT_TRUE(status.contains(c.holds)) << status.toStdString();
    }
}

// A run against a silent port: every probe's loss is marked on the chart.
TEST_F(ClientRunnerTest, SilentPortShowsEveryProbeLost) {
    testsupport::UdpPeer silent;
    setFields(silent.port(), "0.05", "4");
    click("qpbNetConnCli");
    ASSERT_TRUE(runEnds());
    ASSERT_EQ(window->results().state, RunState::noEcho);
    const QImage image = chart();
    const ChartScale s = chartScale(window->results(), image.size());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(image.pixelColor(kChartMargin + chartColumn(s, i),
                                   image.height() - kChartMargin - kChartMarkHeight / 2),
                  kChartLostColour)
            << i;
}

TEST_F(ClientRunnerTest, ClientThatCannotStartIsOnTheStatusLine) {
    QTemporaryDir nowhere;
    setSearchPath(QFile::encodeName(nowhere.path()));
    setFields(9, "1", "1");
    click("qpbNetConnCli");
    EXPECT_TRUE(window->findChild<QLabel*>("tlStatus")->text().startsWith(
        "reboundcli could not be started: "));
    click("qpbNetClose");
}

} // namespace
