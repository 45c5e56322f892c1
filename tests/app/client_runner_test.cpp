// The external run with the real reboundcli against a real reboundsrv (or a silent peer).
#include "app/rebound.h"
#include "tests/app/app_test_support.h"
#include "tests/support/udp_peer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>

#include <memory>

namespace {

class ClientRunner : public apptest::InTempDir {
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
    // Waits for the end of an external run: the process released, its output parsed.
    bool runEnds() {
        QPointer<QProcess> p = process();
        return apptest::waitUntil([&] { return window->clientProcess() == nullptr; }) &&
               apptest::waitUntil([&] { return p.isNull(); });
    }
    bool waitCursorShown() const {
        return QApplication::overrideCursor() &&
               QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    }

    std::unique_ptr<Rebound> window;

  private:
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

TEST_F(ClientRunner, RunCollectsTheLinesAndParsesThemWhenTheClientEnds) {
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
    const QStringList& lines = window->clientLines();
    EXPECT_EQ(window->clientSendTimes(), printedTimes(lines, "udp_send"));
    EXPECT_EQ(window->clientRecvTimes(), printedTimes(lines, "udp_recv"));
    EXPECT_EQ(window->clientSendTimes().size(), 10);
    EXPECT_EQ(window->clientRecvTimes().size(), 10);
    EXPECT_TRUE(lines.contains("rebound_connect(): recvpkts/sendpkts=100.000[%]"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window->record().sendpkts, 0) << "the in-process record is not touched";

    const QStringList log = logLines().mid(before);
    ASSERT_GE(log.size(), 3);
    EXPECT_EQ(log[0], "Rebound::cmdNetConn_clicked():");
    EXPECT_EQ(log[1], QString("Rebound::cmdNetConn_clicked(): qproc->arguments().join(\" \")"
                              ".ascii()=|reboundcli -h 127.0.0.1 -p %1 -t 2 -c 10 "
                              "--sendsize=100 --recvsize=100|")
                          .arg(responder.port()));
    EXPECT_EQ(log[2], "Rebound::cmdNetConn_clicked(): if (qproc->isRunning()):");
    QStringList logged;
    for (const QString& line : log)
        if (line.startsWith("Rebound::slotReadFromStdout(): line=|"))
            logged.append(line.section("line=|", 1).chopped(1));
    EXPECT_EQ(logged, lines);
    const QString ended =
        "Rebound::slotReadFromStdout(): if (qproc->isRunning()): else: NOT RUNNING";
    EXPECT_EQ(log.count(ended), 1);
    const qsizetype parse = log.indexOf("Rebound::slotProcessExited():");
    ASSERT_GT(parse, 0);
    EXPECT_EQ(log[parse - 1], ended) << "every line is collected before the parse";
    const qsizetype sizes =
        log.indexOf("Rebound::slotProcessExited(): qsendtm->size()=10 qrecvtm->size()=10");
    EXPECT_GT(sizes, parse);
    // The parse schedules a repaint of the chart frame, which shows the new counters.
    EXPECT_TRUE(apptest::waitUntil([&] {
        return logLines().mid(before + sizes).contains("Rebound::paintEvent( QPaintEvent * ):");
    }));
}

TEST_F(ClientRunner, SecondLaunchIsRefusedAndCloseEndsALongRun) {
    testsupport::UdpPeer silent; // takes the probes, never answers
    setFields(silent.port(), "5", "1000");
    click("qpbNetConnCli");
    const QPointer<QProcess> first = process();
    ASSERT_FALSE(first.isNull());
    // The window keeps running: lines arrive while the client still waits for echoes.
    ASSERT_TRUE(apptest::waitUntil([&] { return !window->clientLines().isEmpty(); }));
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

TEST_F(ClientRunner, ClientThatCannotStartStaysKnownUntilClose) {
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
// parse then finds no line, and the counters of the previous run are reset.
TEST_F(ClientRunner, ClientThatWritesNothingLeavesZeroCountersAndEmptyLists) {
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    setFields(responder.port(), "2", "3");
    click("qpbNetConn");
    ASSERT_EQ(window->counters().sendpkts, 3);

    setFields(responder.port(), "2", "many");
    click("qpbNetConnCli");
    ASSERT_TRUE(runEnds());
    EXPECT_TRUE(window->clientLines().isEmpty());
    EXPECT_TRUE(window->clientSendTimes().isEmpty());
    EXPECT_TRUE(window->clientRecvTimes().isEmpty());
    EXPECT_EQ(window->counters().sendpkts, 0);
    EXPECT_EQ(window->counters().recvpkts, 0);
    EXPECT_EQ(window->counters().iterpkts, 0);
    EXPECT_TRUE(
        logLines().contains("Rebound::slotProcessExited(): qsendtm->size()=0 qrecvtm->size()=0"));
}

} // namespace
