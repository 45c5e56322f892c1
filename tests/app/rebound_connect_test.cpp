// Connect: one in-process measurement against a real reboundsrv on 127.0.0.1.
#include "app/rebound.h"
#include "tests/app/app_test_support.h"
#include "tests/support/private_network_suite.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

class Connect : public apptest::InTempDir {
  protected:
    void setField(const char* name, const QString& text) {
        window->findChild<QLineEdit*>(name)->setText(text);
    }
    void setFields(int port, int count) {
        setField("leIpHost", "127.0.0.1");
        setField("leIpPort", QString::number(port));
        setField("leTimeout", "2");
        setField("leCount", QString::number(count));
        setField("leSendSize", "100");
        setField("leRecvSize", "100");
    }
    void clickConnect() { window->findChild<QPushButton*>("qpbNetConn")->click(); }

    // Paints the chart frame now and returns what it shows, with the log lines of that paint.
    QImage paintChart(QStringList* paintLines) {
        const qsizetype before = logLines().size();
        const QImage image = window->findChild<QLabel*>("qDrawChart")->grab().toImage();
        *paintLines = logLines().mid(before);
        return image;
    }

    // Shown and painted once, as a window is before anyone can press Connect.
    void SetUp() override {
        apptest::InTempDir::SetUp();
        window = std::make_unique<Rebound>();
        ASSERT_TRUE(apptest::waitUntil(
            [&] { return logLines().contains("Rebound::paintEvent( QPaintEvent * ):"); }));
    }
    void TearDown() override {
        window.reset();
        apptest::InTempDir::TearDown();
    }

    std::unique_ptr<Rebound> window;
};

TEST_F(Connect, RunCopiesTheCountersAndRepaintsTheChart) {
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    setFields(responder.port(), 20);
    const qsizetype before = logLines().size();
    clickConnect();

    EXPECT_EQ(logLines().value(before), "Rebound::cmdNetConn_clicked():");
    const rebound_info& r = window->record();
    EXPECT_EQ(r.sendpkts, 20);
    EXPECT_EQ(r.recvpkts, 20) << "every echo comes back over loopback";
    EXPECT_EQ(window->counters().sendpkts, r.sendpkts);
    EXPECT_EQ(window->counters().recvpkts, r.recvpkts);
    EXPECT_EQ(window->counters().iterpkts, r.iterpkts + 1);
    EXPECT_EQ(r.iterpkts, 19);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is popped again";
    // The run schedules the repaint that shows its chart.
    EXPECT_TRUE(apptest::waitUntil(
        [&] { return logLines().mid(before).filter("reboundinfo->recvpkts=20").size() == 1; }));

    QStringList paint;
    const QImage chart = paintChart(&paint);
    ASSERT_GE(paint.size(), 2 + 20);
    EXPECT_EQ(paint[0], "Rebound::paintEvent( QPaintEvent * ):");
    const QRegularExpression scale(
        R"(^Rebound::paintEvent\( QPaintEvent \* \): ymax=(\d+\.\d{6}) dx=26\.950000 )"
        R"(dy=(\d+\.\d{6}) qDrawChart->width\(\)=600 qDrawChart->height\(\)=400 )"
        R"(reboundinfo->recvpkts=20$)");
    const QRegularExpressionMatch m = scale.match(paint[1]);
    ASSERT_TRUE(m.hasMatch()) << paint[1].toStdString();

    // One line per vertex, 539 / 20 pixels apart from column 1, the largest time on the top of
    // the 340 rows.
    double ymax = 0;
    for (int i = 0; i < 20; ++i)
        ymax = std::max(ymax, r.recvtime[i]);
    for (int i = 0; i < 20; ++i) {
        const int y = static_cast<int>(340 * (r.recvtime[i] / ymax));
        EXPECT_EQ(paint[2 + i], QString::asprintf("Rebound::paintEvent( QPaintEvent * ): "
                                                  "reboundinfo->recvtime[i]=%f x2=% 4d y2=%d",
                                                  r.recvtime[i], 1 + 539 * i / 20, y));
    }
    // Then one line per tick, from the axis upwards, all within the room.
    const QStringList ticks = paint.mid(2 + 20);
    ASSERT_GE(ticks.size(), 2);
    int previous = 371;
    for (const QString& tick : ticks) {
        const QString prefix = "Rebound::paintEvent( QPaintEvent * ): mvx-mvx/2-10=5, sy-mvy-y1=";
        ASSERT_TRUE(tick.startsWith(prefix)) << tick.toStdString();
        const int at = tick.mid(prefix.size()).toInt();
        EXPECT_TRUE(at < previous && at >= 30) << at;
        previous = at;
    }
    EXPECT_TRUE(ticks[0].endsWith("=370"));

    // The frame: white, grey axes, and the two text lines under the axis.
    EXPECT_EQ(chart.pixelColor(30, 100), QColor(136, 136, 136));
    EXPECT_EQ(chart.pixelColor(500, 370), QColor(136, 136, 136));
    EXPECT_EQ(chart.pixelColor(600 - 5, 5), QColor(Qt::white));
    EXPECT_EQ(chartPercentText(window->counters()), "Odebrano=100.00[%] Utracono=0.00[%]");
    EXPECT_EQ(chartCounterText(window->counters()), "sendpkts=20 recvpkts=20 iterpkts+1=20");
    bool textDrawn = false;
    for (int y = 371; y < 400; ++y)
        for (int x = 35; x < 600; ++x)
            textDrawn |= chart.pixelColor(x, y) != QColor(Qt::white);
    EXPECT_TRUE(textDrawn);

    // A second run starts from a cleared record: the chart shows only the new one.
    setFields(responder.port(), 5);
    clickConnect();
    EXPECT_EQ(window->counters().sendpkts, 5);
    EXPECT_EQ(window->counters().iterpkts, 5);
    EXPECT_EQ(window->record().recvtime[19], 0.0);
    paintChart(&paint);
    EXPECT_TRUE(paint.value(1).contains(" dx=107.800000 ")) << paint.value(1).toStdString();
    EXPECT_EQ(paint.filter("reboundinfo->recvtime[i]=").size(), 5);
}

// Texts that are no numbers run the measurement with 0 in their place: no datagram.
// IPHost takes an IPv6 address as reboundcli does.
TEST_F(Connect, Ipv6HostReachesTheResponder) {
    apptest::Responder responder({}, ""); // both families
    ASSERT_TRUE(responder.answering());
    setFields(responder.port(), 10);
    for (const char* host : {"::1", "[::1]"}) {
        setField("leIpHost", host);
        clickConnect();
        EXPECT_EQ(window->counters().recvpkts, 10) << host;
        EXPECT_EQ(window->findChild<QLabel*>("tlStatus")->text(),
                  "finished: 10 of 10 probes answered, 0 lost")
            << host;
    }
}

TEST_F(Connect, FieldsThatAreNoNumbersRunWithZero) {
    setField("leIpHost", "127.0.0.1");
    setField("leIpPort", "port");
    setField("leTimeout", "soon");
    setField("leCount", "many");
    clickConnect();
    EXPECT_EQ(window->counters().sendpkts, 0);
    EXPECT_EQ(window->counters().recvpkts, 0);
    EXPECT_EQ(window->counters().iterpkts, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    QStringList paint;
    paintChart(&paint);
    EXPECT_EQ(paint, QStringList{"Rebound::paintEvent( QPaintEvent * ):"}) << "only the axes";
    EXPECT_EQ(window->findChild<QLabel*>("tlStatus")->text(),
              "no probe went out (a count of 0, or every send failed)");
}

// IPHost through Connect, in a network namespace of the test's own with its own hosts file:
// a name is resolved as reboundcli resolves it, and a text that names no address shows why on
// the status line and sends nothing at all (a capture of every packet on the namespace's
// loopback sees none).
class ConnectHost : public testsupport::PrivateNetworkSuite<ConnectHost, Connect> {
  public:
    static constexpr const char* kHosts = "127.0.0.1 localhost\n";
};

TEST_F(ConnectHost, NameReachesTheResponder) {
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    setFields(responder.port(), 20);
    setField("leIpHost", "localhost");
    clickConnect();
    EXPECT_EQ(window->counters().sendpkts, 20);
    EXPECT_EQ(window->counters().recvpkts, 20);
    EXPECT_EQ(window->findChild<QLabel*>("tlStatus")->text(),
              "finished: 20 of 20 probes answered, 0 lost");
}

TEST_F(ConnectHost, TextNamingNoAddressSendsNothing) {
    const int capture = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK, htons(ETH_P_ALL));
    if (capture < 0) GTEST_SKIP() << "no packet socket in the namespace: " << std::strerror(errno);
    struct Case {
        const char* host;
        const char* why; // in the status line
    };
    const Case cases[] = {
        {"127.1", "host '127.1' is not a dotted IPv4 address"},
        {"0x7f.1", "is not a dotted IPv4 address"},
        {"2130706433", "is not a dotted IPv4 address"},
        {"", "the host is empty"},
        {"local host", "holds characters that no host name or address has"},
        {"nosuch.rebound.test", "has no IP address (the name does not resolve)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        setFields(33333, 3);
        setField("leIpHost", c.host);
        clickConnect();
        const QString status = window->findChild<QLabel*>("tlStatus")->text();
        EXPECT_TRUE(status.contains(c.why)) << status.toStdString();
        EXPECT_TRUE(status.endsWith("; nothing was sent")) << status.toStdString();
        EXPECT_EQ(window->counters().sendpkts, 0);
        char frame[2048];
        EXPECT_EQ(::recv(capture, frame, sizeof frame, 0), -1) << "a packet left the window";
    }
    ::close(capture);
}

} // namespace
