#include "app/window_form.h"

#include "app/client_runner.h"
#include "engine/result_record.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int kFieldWidth = 100, kFieldHeight = 20;
constexpr int kEditRightOfLabel = 60;
constexpr int kButtonRow = 480;

struct Field {
    QLabel* WindowForm::*label;
    QLineEdit* WindowForm::*edit;
    const char* labelName;
    const char* labelText;
    const char* editName;
    const char* defaultText;
    const char* tip; // the default is added to it
    int x, y;
};
const Field kFields[] = {
    {&WindowForm::tlIpHost, &WindowForm::leIpHost, "tlIpHost", "IPHost", "leIpHost", "127.0.0.1",
     "Address of the echo responder (reboundsrv): dotted IPv4, IPv6 (::1, fe80::1%eth0) or a "
     "host name.",
     20, 420},
    {&WindowForm::tlIpPort, &WindowForm::leIpPort, "tlIpPort", "IPPort", "leIpPort", "33333",
     "UDP port of the echo responder, 1 to 65535.", 190, 420},
    {&WindowForm::tlTimeout, &WindowForm::leTimeout, "tlTimeout", "Timeout", "leTimeout", "0.1",
     "Time limit of every single wait for the socket, in seconds; an echo later than this "
     "counts as lost.",
     360, 420},
    {&WindowForm::tlCount, &WindowForm::leCount, "tlCount", "Count", "leCount", "100",
     "Number of probe datagrams to send; the chart draws up to 10000 of them.", 20, 450},
    {&WindowForm::tlSendSize, &WindowForm::leSendSize, "tlSendSize", "SendSize", "leSendSize",
     "8192", "Size of each probe datagram, in bytes.", 190, 450},
    {&WindowForm::tlRecvSize, &WindowForm::leRecvSize, "tlRecvSize", "RecvSize", "leRecvSize",
     "8192", "Size of the echo each probe asks the responder for, in bytes.", 360, 450},
};

// The tooltips name these limits in words.
static_assert(REBOUND_MAXPKTS == 10000, "the Count tooltip says the chart draws up to 10000");
static_assert(kKillDelayMs == 5000, "the Close tooltip says a client is killed after 5 seconds");

struct Button {
    QPushButton* WindowForm::*member;
    const char* name; // also the caption
    const char* tip;
    int x;
    int y = kButtonRow;
    bool checkable = false;
};

// The statistics panel and its buttons, right of the chart frame; the status line under the
// button row.
constexpr int kPanelX = 620, kPanelWidth = 200;
constexpr QRect kStatsGeometry{kPanelX, 10, kPanelWidth, 290};
constexpr int kPanelButtonTop = 310, kPanelButtonStep = 25;
constexpr QRect kStatusGeometry{20, 505, kPanelX + kPanelWidth - 20, 20};
constexpr int kFormMargin = 10;
const Button kButtons[] = {
    {&WindowForm::qpbNetConn, "qpbNetConn",
     "Connect: measure now, inside the window, with the six values above. The window waits "
     "until the run is over, then the chart shows each packet's round-trip time in "
     "milliseconds.",
     80},
    {&WindowForm::qpbNetClose, "qpbNetClose",
     "Close: end a measurement running through reboundcli (asked to stop at once, killed "
     "after 5 seconds). The chart keeps what arrived.",
     250},
    {&WindowForm::qpbQuit, "qpbQuit", "Quit the program (also Ctrl+Q).", 420},
    {&WindowForm::qpbNetConnCli, "qpbNetConnCli",
     "Measure through the command-line client reboundcli with the six values above. The window "
     "stays responsive and draws the round-trip times as they arrive; Close ends the run.",
     530},
    {&WindowForm::qpbHistogram, "qpbHistogram",
     "Toggle the view of the chart frame: the round-trip time of every probe, or the "
     "histogram of all round-trip times of the run.",
     kPanelX, kPanelButtonTop, true},
    {&WindowForm::qpbSavePng, "qpbSavePng",
     "Save the chart frame as it is shown now as a PNG image.", kPanelX,
     kPanelButtonTop + kPanelButtonStep},
    {&WindowForm::qpbSaveCsv, "qpbSaveCsv",
     "Save the run as CSV: one row per probe with its sequence number, send offset and "
     "round trip in seconds (empty without echo), and its marks (lost, late, duplicates, out of "
     "order).",
     kPanelX, kPanelButtonTop + 2 * kPanelButtonStep},
    {&WindowForm::qpbSaveJson, "qpbSaveJson",
     "Save the run as the JSON document reboundcli --json writes (parameters, every probe, the "
     "summary). Available once the run has ended.",
     kPanelX, kPanelButtonTop + 3 * kPanelButtonStep},
};

} // namespace

QSize formExtent() {
    return {kStatusGeometry.right() + 1 + kFormMargin, kStatusGeometry.bottom() + 1 + kFormMargin};
}

QSize initialWindowSize(QSize minimumHint) {
    const QSize form = formExtent();
    return {std::max({640, form.width(), minimumHint.width()}),
            std::max({520, form.height(), minimumHint.height()})};
}

WindowForm createWindowForm(QWidget* window) {
    WindowForm form;
    form.qDrawChart = new QLabel(window);
    form.qDrawChart->setObjectName(QStringLiteral("qDrawChart"));
    form.qDrawChart->setGeometry(10, 10, 600, 400);

    for (const Field& f : kFields) {
        QLabel* label = new QLabel(window);
        label->setObjectName(QLatin1String(f.labelName));
        label->setGeometry(f.x, f.y, kFieldWidth, kFieldHeight);
        label->setText(QLatin1String(f.labelText));
        form.*f.label = label;
    }
    for (const Field& f : kFields) {
        QLineEdit* edit = new QLineEdit(window);
        edit->setObjectName(QLatin1String(f.editName));
        edit->setGeometry(f.x + kEditRightOfLabel, f.y, kFieldWidth, kFieldHeight);
        edit->setText(QLatin1String(f.defaultText));
        edit->setToolTip(QStringLiteral("%1 Default: %2")
                             .arg(QLatin1String(f.tip), QLatin1String(f.defaultText)));
        form.*f.edit = edit;
    }
    for (const Button& b : kButtons) {
        QPushButton* button = new QPushButton(window);
        button->setObjectName(QLatin1String(b.name));
        button->setGeometry(b.x, b.y, kFieldWidth, kFieldHeight);
        button->setText(QLatin1String(b.name));
        button->setToolTip(QLatin1String(b.tip));
        button->setCheckable(b.checkable);
        form.*b.member = button;
    }
    form.tlStats = new QLabel(window);
    form.tlStats->setObjectName(QStringLiteral("tlStats"));
    form.tlStats->setGeometry(kStatsGeometry);
    form.tlStats->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    form.tlStats->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    form.tlStats->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form.tlStats->setToolTip(QStringLiteral(
        "The run's figures as reboundcli's summary gives them: round trips of the first echo of "
        "every answered probe (minimum, percentiles, maximum), jitter (mean IPDV between "
        "consecutive answered probes), probes sent and answered, loss, duplicates and late "
        "echoes."));
    form.tlStatus = new QLabel(window);
    form.tlStatus->setObjectName(QStringLiteral("tlStatus"));
    form.tlStatus->setGeometry(kStatusGeometry);
    form.tlStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return form;
}
