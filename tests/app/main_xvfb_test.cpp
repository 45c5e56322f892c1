// The real program on a virtual X server: Connect clicked with xdotool against a local
// reboundsrv, the chart frame checked on a screenshot, Quit clicked. Skips where the X tools
// are not installed.
#include "tests/app/app_test_support.h"

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using testsupport::ChildProcess;

struct ToolRun {
    bool finished = false;
    int exitCode = -1;
    std::string out;
};

ToolRun runTool(const std::string& path, const std::vector<std::string>& args) {
    ChildProcess p;
    ToolRun r;
    if (!p.start(path, args)) return r;
    r.finished = p.wait(std::chrono::seconds(30));
    r.exitCode = p.exited() ? p.exit_code() : -1;
    r.out = p.out();
    return r;
}

// Ends the X server with SIGTERM so it removes its lock file and socket.
struct XServer {
    ChildProcess process;
    ~XServer() {
        process.signal(SIGTERM);
        process.wait(std::chrono::seconds(10));
    }
};

// A clear blend of the text colour (136, 187, 187) with white: green and blue equal and well
// above red, as in the glyphs' antialiased pixels.
bool isTextPixel(QColor px) {
    return px.green() - px.red() > 20 && std::abs(px.green() - px.blue()) < 12;
}

// The checks on the chart frame (at 10, 10 in the window) after the run of 100 echoes.
std::string chartProblem(const QImage& window) {
    if (window.isNull()) return "no screenshot";
    const QImage chart = window.copy(10, 10, 600, 400);
    const QColor grey(136, 136, 136);
    if (chart.pixelColor(300, 370) != grey) return "no horizontal axis";
    if (chart.pixelColor(30, 200) != grey) return "no vertical axis";
    if (chart.pixelColor(595, 5) != QColor(Qt::white)) return "no white background";
    // The curve lies above the horizontal axis; the texts below it.
    const bool curve = apptest::hasCurve(chart.copy(0, 0, 600, 370));
    bool text = false;
    for (int y = 371; y < 400; ++y)
        for (int x = 35; x < 600; ++x)
            text |= isTextPixel(chart.pixelColor(x, y));
    if (!curve) return "no round-trip curve";
    if (!text) return "no percentage and counter texts";
    return {};
}

// Columns of the chart frame that show the loss marks' red just above the horizontal axis.
int lossMarkColumns(const QImage& chart) {
    if (chart.isNull()) return 0;
    int columns = 0;
    for (int x = 31; x < chart.width(); ++x)
        columns += chart.pixelColor(x, 370 - 4) == QColor(220, 0, 0);
    return columns;
}

using XvfbProgram = apptest::InTempDir;

TEST_F(XvfbProgram, ConnectDrawsTheChartAndQuitEndsWithZero) {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    const QString xdotool = QStandardPaths::findExecutable("xdotool");
    const QString import = QStandardPaths::findExecutable("import");
    if (xvfb.isEmpty() || xdotool.isEmpty() || import.isEmpty())
        GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick's import (Debian packages xvfb, "
                        "xdotool, imagemagick; scripts/install-deps.sh installs them)";
    const std::string xdo = xdotool.toStdString();

    XServer x;
    ASSERT_TRUE(x.process.start(
        xvfb.toStdString(), {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"}));
    ASSERT_TRUE(x.process.wait_for_output("\n", std::chrono::seconds(30))) << x.process.err();
    const std::string display =
        ":" + QString::fromStdString(x.process.out()).trimmed().toStdString();

    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());

    ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::unsetenv("WAYLAND_DISPLAY");
    ChildProcess program;
    ASSERT_TRUE(program.start(testsupport::program_path("rebound"), {}));

    const ToolRun search =
        runTool(xdo, {"search", "--sync", "--onlyvisible", "--name", "Rebound::Rebound"});
    ASSERT_TRUE(search.finished && search.exitCode == 0) << program.err();
    const std::string window = QString::fromStdString(search.out).split('\n').first().toStdString();
    // Pointer moves relative to the window; clicks and keys go through XTEST like real input.
    auto clickAt = [&](int x, int y) {
        const ToolRun r = runTool(xdo, {"mousemove", "--window", window, std::to_string(x),
                                        std::to_string(y), "click", "1"});
        ASSERT_EQ(r.exitCode, 0);
    };

    clickAt(300, 430); // the port field
    ASSERT_EQ(runTool(xdo, {"key", "ctrl+a"}).exitCode, 0);
    ASSERT_EQ(runTool(xdo, {"type", std::to_string(responder.port())}).exitCode, 0);
    clickAt(130, 490); // qpbNetConn

    // 100 echoes at dx = 5.4: the last vertex is logged at x2 = 534.
    QElapsedTimer clock;
    clock.start();
    auto logHas = [&](const char* text) { return logBytes().contains(text); };
    while (!(logHas("reboundinfo->recvpkts=100\n") && logHas(" x2= 534 ")) &&
           clock.elapsed() < 60000)
        QThread::msleep(50);
    ASSERT_TRUE(logHas("Rebound::cmdNetConn_clicked():\n"));
    ASSERT_TRUE(logHas("reboundinfo->recvpkts=100\n")) << logBytes().toStdString();

    // The frame reaches the screen a moment after the paint: look until it shows the chart.
    const std::string shot = path("chart.png").toStdString();
    std::string problem = "not looked yet";
    for (clock.restart(); !problem.empty() && clock.elapsed() < 30000; QThread::msleep(100)) {
        runTool(import.toStdString(), {"-window", window, shot});
        problem = chartProblem(QImage(QString::fromStdString(shot)));
    }
    EXPECT_EQ(problem, "") << "screenshot: " << shot;

    // A run with losses: 30 probes, every third one unanswered, each marked in red at the axis.
    constexpr int kProbes = 30;
    apptest::LossyPeer lossy(kProbes);
    clickAt(300, 430); // the port field
    ASSERT_EQ(runTool(xdo, {"key", "ctrl+a"}).exitCode, 0);
    ASSERT_EQ(runTool(xdo, {"type", std::to_string(lossy.port())}).exitCode, 0);
    clickAt(130, 460); // the count field
    ASSERT_EQ(runTool(xdo, {"key", "ctrl+a"}).exitCode, 0);
    ASSERT_EQ(runTool(xdo, {"type", std::to_string(kProbes)}).exitCode, 0);
    clickAt(130, 490); // qpbNetConn
    for (clock.restart(); !logHas("reboundinfo->recvpkts=20\n") && clock.elapsed() < 60000;)
        QThread::msleep(50);
    ASSERT_TRUE(logHas("reboundinfo->recvpkts=20\n")) << logBytes().toStdString();
    int marks = 0;
    for (clock.restart(); marks < kProbes / 3 && clock.elapsed() < 30000; QThread::msleep(100)) {
        runTool(import.toStdString(), {"-window", window, shot});
        const QImage chart = QImage(QString::fromStdString(shot)).copy(10, 10, 600, 400);
        marks = lossMarkColumns(chart);
    }
    EXPECT_EQ(marks, kProbes / 3) << "screenshot: " << shot;

    clickAt(470, 490); // qpbQuit
    ASSERT_TRUE(program.wait(std::chrono::seconds(30)));
    EXPECT_TRUE(program.exited() && program.term_signal() == 0);
    EXPECT_EQ(program.exit_code(), 0) << program.err();

    const QStringList lines = logLines();
    const qsizetype quit = lines.indexOf("Rebound::cmdQuit_clicked():");
    ASSERT_GE(quit, 0);
    EXPECT_EQ(lines.value(quit + 1), "Rebound::cmdExitApp_clicked():");
    EXPECT_EQ(lines.last(), "Rebound::~Rebound()");
    EXPECT_NE(program.out().find("rebound_connect(): sendpkts=100\n"), std::string::npos);
    EXPECT_NE(program.out().find("Rebound::cmdExitApp_clicked():\n"), std::string::npos);
}

} // namespace
