#include "app/rebound.h"
#include "tests/app/app_test_support.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstring>
#include <memory>

namespace {

using Window = apptest::InTempDir;

QString widgetText(const QWidget* w) {
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text();
    if (auto* button = qobject_cast<const QPushButton*>(w)) return button->text();
    return QStringLiteral("<unexpected widget>");
}

TEST_F(Window, FormHasEveryWidgetWithItsClassGeometryAndText) {
    Rebound window;
    struct Expected {
        const char* name;
        const char* className;
        QRect geometry;
        const char* text;
    };
    const Expected widgets[] = {
        {"qDrawChart", "QLabel", {10, 10, 600, 400}, ""},
        {"tlIpHost", "QLabel", {20, 420, 100, 20}, "IPHost"},
        {"tlIpPort", "QLabel", {190, 420, 100, 20}, "IPPort"},
        {"tlTimeout", "QLabel", {360, 420, 100, 20}, "Timeout"},
        {"tlCount", "QLabel", {20, 450, 100, 20}, "Count"},
        {"tlSendSize", "QLabel", {190, 450, 100, 20}, "SendSize"},
        {"tlRecvSize", "QLabel", {360, 450, 100, 20}, "RecvSize"},
        {"leIpHost", "QLineEdit", {80, 420, 100, 20}, "127.0.0.1"},
        {"leIpPort", "QLineEdit", {250, 420, 100, 20}, "33333"},
        {"leTimeout", "QLineEdit", {420, 420, 100, 20}, "0.1"},
        {"leCount", "QLineEdit", {80, 450, 100, 20}, "100"},
        {"leSendSize", "QLineEdit", {250, 450, 100, 20}, "8192"},
        {"leRecvSize", "QLineEdit", {420, 450, 100, 20}, "8192"},
        {"qpbNetConn", "QPushButton", {80, 480, 100, 20}, "qpbNetConn"},
        {"qpbNetClose", "QPushButton", {250, 480, 100, 20}, "qpbNetClose"},
        {"qpbQuit", "QPushButton", {420, 480, 100, 20}, "qpbQuit"},
        {"qpbNetConnCli", "QPushButton", {530, 480, 100, 20}, "qpbNetConnCli"},
        {"qpbHistogram", "QPushButton", {620, 310, 100, 20}, "qpbHistogram"},
        {"qpbSavePng", "QPushButton", {620, 335, 100, 20}, "qpbSavePng"},
        {"qpbSaveCsv", "QPushButton", {620, 360, 100, 20}, "qpbSaveCsv"},
        {"qpbSaveJson", "QPushButton", {620, 385, 100, 20}, "qpbSaveJson"},
        {"tlStats", "QLabel", {620, 10, 200, 290}, ""},
        {"tlStatus", "QLabel", {20, 505, 800, 20}, "no run yet"},
    };
    // Direct children, created in table order.
    QList<QWidget*> created;
    for (QObject* child : window.children())
        if (auto* w = qobject_cast<QWidget*>(child); w && !w->objectName().isEmpty())
            created.append(w);
    ASSERT_EQ(created.size(), qsizetype(std::size(widgets)));
    for (qsizetype i = 0; i < created.size(); ++i) {
        const Expected& e = widgets[i];
        SCOPED_TRACE(e.name);
        QWidget* w = created[i];
        EXPECT_EQ(w->objectName(), QLatin1String(e.name));
        EXPECT_STREQ(w->metaObject()->className(), e.className);
        EXPECT_EQ(w->geometry(), e.geometry);
        EXPECT_EQ(widgetText(w), QLatin1String(e.text));
        EXPECT_TRUE(w->isVisible());
    }
    // A later widget lies above an earlier one: each field covers the end of its label.
    EXPECT_EQ(window.childAt(100, 430)->objectName(), "leIpHost");
    EXPECT_EQ(window.childAt(50, 430)->objectName(), "tlIpHost");

    EXPECT_EQ(window.windowTitle(), "Rebound::Rebound()");
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(164, 164, 164));
    EXPECT_EQ(window.palette().color(QPalette::Button), QColor(164, 164, 164));
    auto* chart = window.findChild<QLabel*>("qDrawChart");
    EXPECT_EQ(chart->palette().color(QPalette::Window), QColor(255, 255, 255));
    EXPECT_TRUE(chart->autoFillBackground());
    EXPECT_EQ(window.size(), QSize(830, 535)) << "room for the panel and the status line";
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.menuWidget(), nullptr);

    auto* quit = window.findChild<QAction*>("actionMenuFileExitApp");
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->text(), "&actionMenuFileExitApp");
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(window.actions().contains(quit));
}

TEST_F(Window, StartsWithZeroCountersEmptyListsAndAZeroRecord) {
    Rebound window;
    EXPECT_EQ(window.counters().sendpkts, 0);
    EXPECT_EQ(window.counters().recvpkts, 0);
    EXPECT_EQ(window.counters().iterpkts, 0);
    EXPECT_TRUE(window.clientSendTimes().isEmpty());
    EXPECT_TRUE(window.clientRecvTimes().isEmpty());
    EXPECT_EQ(window.clientProcess(), nullptr);
    const auto zero = std::make_unique<rebound_info>();
    EXPECT_EQ(std::memcmp(&window.record(), zero.get(), sizeof(rebound_info)), 0);

    // So the chart frame shows the empty chart: white with the two grey axes.
    const QImage chart = window.findChild<QLabel*>("qDrawChart")->grab().toImage();
    EXPECT_EQ(chart.size(), QSize(600, 400));
    EXPECT_EQ(chart.pixelColor(300, 200), QColor(Qt::white));
    EXPECT_EQ(chart.pixelColor(300, 370), QColor(136, 136, 136));
    EXPECT_EQ(chart.pixelColor(30, 200), QColor(136, 136, 136));
}

TEST_F(Window, SlotTableHoldsTheSixSlotsInOrder) {
    const QMetaObject& meta = Rebound::staticMetaObject;
    EXPECT_STREQ(meta.className(), "Rebound");
    EXPECT_STREQ(meta.superClass()->className(), "QMainWindow");
    QStringList names;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        ASSERT_EQ(meta.method(i).methodType(), QMetaMethod::Slot);
        EXPECT_EQ(meta.method(i).access(), QMetaMethod::Public);
        names.append(QString::fromLatin1(meta.method(i).methodSignature()));
    }
    EXPECT_EQ(names, QStringList({"cmdExitApp_clicked()", "cmdQuit_clicked()",
                                  "cmdNetConn_clicked()", "cmdNetClose_clicked()",
                                  "slotReadFromStdout()", "slotProcessExited()"}));
    EXPECT_EQ(meta.propertyCount(), meta.propertyOffset());
}

TEST_F(Window, ConstructionAndDestructionAppendTheirLogLinesInOrder) {
    QFile f(path("reboundgui.log"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("kept from before\n");
    f.close();
    {
        Rebound window;
        QApplication::processEvents(); // lets the first paint happen
    }
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0], "kept from before");
    EXPECT_EQ(lines[1], "Rebound::Rebound( QWidget *parent, const char *name, WFlags fl )");
    EXPECT_EQ(lines[2], "Rebound::languageChange():");
    // Then repaints of the empty chart: one line each, nothing else.
    for (qsizetype i = 3; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i], "Rebound::paintEvent( QPaintEvent * ):");
    EXPECT_EQ(lines.last(), "Rebound::~Rebound()");
}

// The form needs 830 x 535 (statistics panel right of the chart, status line under the
// buttons); each dimension of a larger hint wins on its own.
TEST(WindowSize, RoomForTheFormWithEachDimensionOfALargerHintWinning) {
    EXPECT_EQ(formExtent(), QSize(830, 535));
    EXPECT_EQ(initialWindowSize(QSize(-1, -1)), QSize(830, 535));
    EXPECT_EQ(initialWindowSize(QSize(100, 100)), QSize(830, 535));
    EXPECT_EQ(initialWindowSize(QSize(900, 100)), QSize(900, 535));
    EXPECT_EQ(initialWindowSize(QSize(100, 600)), QSize(830, 600));
    EXPECT_EQ(initialWindowSize(QSize(1000, 900)), QSize(1000, 900));
}

TEST(WindowIcon, TheBuildPlacesA16By16IconBesideTheProgram) {
    const QString dir = QStringLiteral(REBOUND_BIN_DIR);
    ASSERT_TRUE(QFileInfo::exists(dir + "/rebound"));
    const QImage icon(dir + "/" + kWindowIconFile);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(16, 16));
}

// Runs the event loop until the window ends it; a guard ends it with 99 if nothing does.
int runEventLoop(const std::function<void()>& action) {
    QTimer::singleShot(0, action);
    QTimer::singleShot(30000, [] { QCoreApplication::exit(99); });
    return QApplication::exec();
}

TEST_F(Window, QuitLogsTwoLinesAndEndsTheEventLoopWithZero) {
    Rebound window;
    const int result = runEventLoop([&] { window.findChild<QPushButton*>("qpbQuit")->click(); });
    EXPECT_EQ(result, 0);
    // The Quit line, then the exit line right after it, once each.
    const QStringList lines = logLines();
    const qsizetype quit = lines.indexOf("Rebound::cmdQuit_clicked():");
    ASSERT_GE(quit, 0);
    ASSERT_LT(quit + 1, lines.size());
    EXPECT_EQ(lines[quit + 1], "Rebound::cmdExitApp_clicked():");
    EXPECT_EQ(lines.count("Rebound::cmdQuit_clicked():"), 1);
    EXPECT_EQ(lines.count("Rebound::cmdExitApp_clicked():"), 1);
}

TEST_F(Window, CtrlQEndsTheEventLoopWithZero) {
    Rebound window;
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const int result =
        runEventLoop([&] { QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(logLines().count("Rebound::cmdExitApp_clicked():"), 1);
    EXPECT_FALSE(logLines().contains("Rebound::cmdQuit_clicked():"));
}

// Closing the window from its title bar ends the event loop; no command slot runs.
TEST_F(Window, ClosingTheWindowEndsTheEventLoopWithoutACommand) {
    Rebound window;
    EXPECT_EQ(runEventLoop([&] { window.close(); }), 0);
    for (const QString& line : logLines())
        EXPECT_FALSE(line.startsWith("Rebound::cmd")) << line.toStdString();
}

TEST_F(Window, CloseWithoutExternalRunOnlyLogs) {
    Rebound window;
    QApplication::setOverrideCursor(Qt::CrossCursor); // someone else's cursor stays
    window.findChild<QPushButton*>("qpbNetClose")->click();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(logLines().last(), "Rebound::cmdNetClose_clicked():");
}

// SIGTERM or SIGINT ends the event loop, whenever it comes: the window goes as after Quit (its
// destructor's line is the last), the exit status is 128 + the signal's number, and standard
// output and the log file hold the same bytes, so no printed line is missing from the log.
TEST_F(Window, StopSignalsEndTheProgramWithEveryPrintedLineInTheLog) {
    struct Case {
        int sig;
        const char* after; // sent once standard output shows this
    };
    const Case cases[] = {
        {SIGTERM, "Rebound::Rebound( QWidget *parent, const char *name, WFlags fl )\n"},
        {SIGTERM, "Rebound::paintEvent( QPaintEvent * ):\n"},
        {SIGINT, "Rebound::languageChange():\n"},
        {SIGINT, "Rebound::paintEvent( QPaintEvent * ):\n"},
    };
    const std::string start = "Rebound::Rebound( QWidget *parent, const char *name, WFlags fl )\n"
                              "Rebound::languageChange():\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.sig)) + " after " + c.after);
        QFile::remove(path("reboundgui.log"));
        testsupport::ChildProcess program; // inherits the offscreen platform and this directory
        ASSERT_TRUE(program.start(testsupport::program_path("rebound"), {}));
        ASSERT_TRUE(program.wait_for_output(c.after, std::chrono::seconds(60))) << program.err();
        program.signal(c.sig);
        ASSERT_TRUE(program.wait(std::chrono::seconds(60)));
        ASSERT_TRUE(program.exited()) << "killed by signal " << program.term_signal();
        EXPECT_EQ(program.exit_code(), 128 + c.sig);
        const std::string out = program.out();
        EXPECT_EQ(out.substr(0, start.size()), start);
        EXPECT_TRUE(out.ends_with("Rebound::~Rebound()\n")) << out;
        EXPECT_EQ(logBytes().toStdString(), out);
    }
}

// Each field says what it holds, in which unit, and its default; each button what it does.
TEST_F(Window, FieldsAndButtonsExplainThemselvesInTooltips) {
    Rebound window;
    const std::pair<const char*, QStringList> tips[] = {
        {"leIpHost", {"responder", "IPv4", "Default: 127.0.0.1"}},
        {"leIpPort", {"UDP port", "Default: 33333"}},
        {"leTimeout", {"seconds", "Default: 0.1"}},
        {"leCount", {"probe", "Default: 100"}},
        {"leSendSize", {"bytes", "Default: 8192"}},
        {"leRecvSize", {"echo", "bytes", "Default: 8192"}},
        {"qpbNetConn", {"inside the window", "milliseconds"}},
        {"qpbNetClose", {"reboundcli", "5 seconds"}},
        {"qpbQuit", {"Quit", "Ctrl+Q"}},
        {"qpbNetConnCli", {"reboundcli", "responsive"}},
    };
    for (const auto& [name, words] : tips) {
        SCOPED_TRACE(name);
        const QWidget* w = window.findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr);
        for (const QString& word : words)
            EXPECT_TRUE(w->toolTip().contains(word)) << w->toolTip().toStdString();
    }
}

TEST(ClientProgram, ReboundcliBesideTheProgramElseTheProgramSearch) {
    const QString bin = QStringLiteral(REBOUND_BIN_DIR);
    EXPECT_EQ(clientProgram(bin), bin + "/reboundcli");

    QTemporaryDir empty;
    EXPECT_EQ(clientProgram(empty.path()), "reboundcli");

    QFile notExecutable(empty.filePath("reboundcli"));
    ASSERT_TRUE(notExecutable.open(QIODevice::WriteOnly));
    notExecutable.close();
    notExecutable.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(clientProgram(empty.path()), "reboundcli");
}

} // namespace
