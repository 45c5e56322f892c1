#include "app/rebound.h"

#include "app/guilog.h"
#include "app/repaint_pacer.h"
#include "engine/line_printer.h"
#include "engine/round_trip_client.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <utility>

namespace {

const QColor kWindowColour{164, 164, 164};
const QColor kChartBackground{255, 255, 255};

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

Rebound::Rebound(QWidget* parent, Qt::WindowFlags fl) : QMainWindow(parent, fl) {
    guilog("Rebound::Rebound( QWidget *parent, const char *name, WFlags fl )\n");

    QPalette palette(kWindowColour);
    palette.setColor(QPalette::Window, kWindowColour);
    setPalette(palette);
    setAutoFillBackground(true);
    setWindowTitle(QStringLiteral("Rebound::Rebound()"));

    // A missing or unreadable icon leaves the window without one.
    QPixmap icon;
    if (icon.load(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                  QLatin1String(kWindowIconFile)))
        setWindowIcon(QIcon(icon));

    resize(initialWindowSize(minimumSizeHint()));
    form_ = createWindowForm(this);
    clearChart();
    form_.qDrawChart->installEventFilter(this);
    connect(form_.qpbNetConn, &QPushButton::clicked, this, &Rebound::cmdNetConn_clicked);
    connect(form_.qpbNetClose, &QPushButton::clicked, this, &Rebound::cmdNetClose_clicked);
    connect(form_.qpbQuit, &QPushButton::clicked, this, &Rebound::cmdQuit_clicked);
    connect(form_.qpbNetConnCli, &QPushButton::clicked, this, &Rebound::cmdNetConnCli_clicked);

    runner_ = new ClientRunner(this);
    connect(runner_, &ClientRunner::outputReady, this, &Rebound::slotReadFromStdout);
    connect(runner_, &ClientRunner::exited, this, &Rebound::slotProcessExited);
    pacer_ = new RepaintPacer([this] { showClientRun(); }, this);
    connect(runner_, &ClientRunner::liveChanged, this, [this] {
        if (chartShowsClient_) pacer_->request();
    });
    connect(runner_, &ClientRunner::parsed, this, &Rebound::showClientResults);

    // Added to the window so Ctrl+Q works without a menu.
    actionMenuFileExitApp = new QAction(QStringLiteral("&actionMenuFileExitApp"), this);
    actionMenuFileExitApp->setObjectName(QStringLiteral("actionMenuFileExitApp"));
    actionMenuFileExitApp->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    addAction(actionMenuFileExitApp);
    connect(actionMenuFileExitApp, &QAction::triggered, this, &Rebound::cmdExitApp_clicked);

    languageChange();
    scheduleRepaint();
    show();
}

Rebound::~Rebound() {
    guilog("Rebound::~Rebound()\n");
    form_.qDrawChart->removeEventFilter(this);
    // The runner ends a client still running before the window's members go.
    delete std::exchange(runner_, nullptr);
}

void Rebound::languageChange() {
    guilog("Rebound::languageChange():\n");
}

bool Rebound::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_.qDrawChart && event->type() == QEvent::Paint) {
        QElapsedTimer cost;
        cost.start();
        QPainter painter(form_.qDrawChart);
        drawChart(painter, form_.qDrawChart->size(), *reboundinfo, results_.counters);
        painter.end();
        pacer_->painted(cost.nsecsElapsed());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// Runs on the GUI thread and blocks the window until the measurement is over; the external
// run is the responsive alternative.
void Rebound::cmdNetConn_clicked() {
    guilog("Rebound::cmdNetConn_clicked():\n");
    runner_->clearFindings();
    // From now on the chart belongs to this run, even if an external one is still going.
    chartShowsClient_ = false;
    pacer_->cancel();
    QApplication::setOverrideCursor(Qt::WaitCursor);

    const int32_t recvsize = fieldInt(form_.leRecvSize);
    const int32_t sendsize = fieldInt(form_.leSendSize);
    const int32_t count = fieldInt(form_.leCount);
    const double timeout = fieldDouble(form_.leTimeout);
    const int32_t port = fieldInt(form_.leIpPort);
    const QByteArray host = form_.leIpHost->text().toLatin1();
    // The run's lines go to standard output as the protocol's printer writes them.
    line_printer lines(stdout);
    rebound_connect(host.constData(), port, timeout, count, sendsize, recvsize, reboundinfo,
                    &lines);
    results_.counters = countersOf(*reboundinfo);

    QApplication::restoreOverrideCursor();
    clearChart();
    scheduleRepaint();
}

void Rebound::cmdNetConnCli_clicked() {
    guilog("Rebound::cmdNetConn_clicked():\n");
    if (runner_->process()) {
        guilog("Rebound::cmdNetConn_clicked(): if (qproc!=NULL): return;\n");
        return;
    }
    // The field texts go as typed; reboundcli judges them.
    runner_->start(clientProgram(QCoreApplication::applicationDirPath()),
                   {QStringLiteral("-h"), form_.leIpHost->text(), QStringLiteral("-p"),
                    form_.leIpPort->text(), QStringLiteral("-t"), form_.leTimeout->text(),
                    QStringLiteral("-c"), form_.leCount->text(),
                    QStringLiteral("--sendsize=") + form_.leSendSize->text(),
                    QStringLiteral("--recvsize=") + form_.leRecvSize->text()});
    // The chart now belongs to this run: empty until its first echo arrives.
    chartShowsClient_ = true;
    showClientRun();
}

void Rebound::cmdNetClose_clicked() {
    guilog("Rebound::cmdNetClose_clicked():\n");
    runner_->forget();
}

void Rebound::cmdQuit_clicked() {
    guilog("Rebound::cmdQuit_clicked():\n");
    cmdExitApp_clicked();
}

void Rebound::cmdExitApp_clicked() {
    guilog("Rebound::cmdExitApp_clicked():\n");
    QCoreApplication::exit(0);
}

void Rebound::slotReadFromStdout() {
    runner_->readOutput();
}

void Rebound::slotProcessExited() {
    runner_->parseExit();
}

void Rebound::showClientRun() {
    if (!chartShowsClient_) return;
    results_ = runner_->live();
    clearChart();
    scheduleRepaint();
}

// The parse's counters join the record rebuilt from the same lines.
void Rebound::showClientResults() {
    if (!chartShowsClient_) return;
    pacer_->cancel();
    const ClientRun& run = runner_->run();
    results_.record = runner_->live().record;
    results_.counters = {run.sendpkts, run.recvpkts, run.iterpkts};
    clearChart();
    scheduleRepaint();
}

// The frame fills itself with white before every paint, so a new chart never draws over
// the old one.
void Rebound::clearChart() {
    QPalette palette = form_.qDrawChart->palette();
    palette.setColor(QPalette::Window, kChartBackground);
    form_.qDrawChart->setPalette(palette);
    form_.qDrawChart->setAutoFillBackground(true);
}

// The chart frame fills its own background, so a repaint of the window alone leaves the frame
// as it was: ask for both.
void Rebound::scheduleRepaint() {
    update();
    form_.qDrawChart->update();
}
