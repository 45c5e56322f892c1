#include "app/rebound.h"

#include "app/chart_histogram.h"
#include "app/guilog.h"
#include "app/repaint_pacer.h"
#include "app/run_marker.h"
#include "app/window_stdout.h"
#include "engine/line_printer.h"
#include "engine/round_trip_client.h"
#include "report/atomic_file.h"
#include "tools/host_text.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileDialog>
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

// What the reports say of a run asked for with the window's fields.
run_description describeRun(const WindowForm& form) {
    run_description run;
    run.program = "rebound";
    run.version = REBOUND_VERSION;
    run.host = form.leIpHost->text().toStdString();
    run.port = fieldInt(form.leIpPort);
    run.timeout = fieldDouble(form.leTimeout);
    run.count = fieldInt(form.leCount);
    run.sendsize = fieldInt(form.leSendSize);
    run.recvsize = fieldInt(form.leRecvSize);
    run.interval = kDefaultInterval;
    return run;
}

QString saved(const std::string& why) {
    return QString::fromStdString(why);
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

    connect(form_.qpbHistogram, &QPushButton::toggled, this, [this] { scheduleRepaint(); });
    connect(form_.qpbSavePng, &QPushButton::clicked, this, [this] {
        saveWithDialog(QStringLiteral("Save the chart"), QStringLiteral("PNG image (*.png)"),
                       &Rebound::exportPng);
    });
    connect(form_.qpbSaveCsv, &QPushButton::clicked, this, [this] {
        saveWithDialog(QStringLiteral("Save the run as CSV"), QStringLiteral("CSV (*.csv)"),
                       &Rebound::exportCsv);
    });
    connect(form_.qpbSaveJson, &QPushButton::clicked, this, [this] {
        saveWithDialog(QStringLiteral("Save the run as JSON"), QStringLiteral("JSON (*.json)"),
                       &Rebound::exportJson);
    });
    showRunTexts();

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
        if (form_.qpbHistogram->isChecked())
            drawHistogram(painter, form_.qDrawChart->size(), results_);
        else
            drawChart(painter, form_.qDrawChart->size(), results_);
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
    // A dotted quad, or a name resolved as reboundcli resolves it; a text that names no
    // address sends nothing (never to the "no address" value, which is the broadcast address).
    const host_address host = resolve_host_text(form_.leIpHost->text().toStdString());
    results_ = {};
    results_.timeout = timeout;
    report_ = std::make_unique<RunReport>(describeRun(form_));
    if (host.address.empty()) {
        guilog("Rebound::cmdNetConn_clicked(): %s\n", host.error.c_str());
        results_.state = RunState::badHost;
        results_.message = QString::fromStdString(host.error);
    } else {
        // The run's lines go to standard output as the protocol's printer writes them, never
        // waiting for a reader that does not read.
        std::FILE* out = windowStdoutStream();
        line_printer lines(out ? out : stdout);
        RunMarker marker(&results_);
        rebound_observers observers{&lines, &marker, report_.get()};
        rebound_connect(host.address.c_str(), port, timeout, count, sendsize, recvsize,
                        reboundinfo, &observers);
    }
    results_.counters = countersOf(*reboundinfo);
    showRunTexts();

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
                    QStringLiteral("--recvsize=") + form_.leRecvSize->text()},
                   describeRun(form_));
    // The chart now belongs to this run: empty until its first echo arrives.
    chartShowsClient_ = true;
    showClientRun();
}

void Rebound::cmdNetClose_clicked() {
    guilog("Rebound::cmdNetClose_clicked():\n");
    const bool known = runner_->process() != nullptr;
    runner_->forget();
    // The chart keeps what arrived; the status line says the run was stopped at once.
    if (known) showClientRun();
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
    showRunTexts();
    clearChart();
    scheduleRepaint();
}

// The parse's counters join the record rebuilt from the same lines.
void Rebound::showClientResults() {
    if (!chartShowsClient_) return;
    pacer_->cancel();
    const ClientRun& run = runner_->run();
    results_ = runner_->live();
    results_.counters = {run.sendpkts, run.recvpkts, run.iterpkts};
    showRunTexts();
    clearChart();
    scheduleRepaint();
}

const RunReport* Rebound::report() const {
    return chartShowsClient_ ? runner_->report() : report_.get();
}

void Rebound::showRunTexts() {
    form_.tlStatus->setText(runStatusText(results_));
    const RunReport* r = report();
    // While a run goes on, its figures (percentiles over every echo so far) are worked out at
    // most every kLivePanelGapMs, and never sooner than kLivePanelCostShare times what the last
    // cost, so a long run's panel never crowds out input.
    const bool live = results_.state == RunState::running;
    if (live && panelClock_.isValid() && panelClock_.elapsed() < panelGapMs_) return;
    panelClock_.start();
    form_.tlStats->setText(r ? statsPanelText(r->summary(results_.record)) : QString());
    panelGapMs_ = std::max(kLivePanelGapMs, kLivePanelCostShare * panelClock_.elapsed());
    const bool ended = r && r->ended();
    form_.qpbSaveCsv->setEnabled(r != nullptr);
    form_.qpbSaveJson->setEnabled(ended);
}

QString Rebound::exportPng(const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!form_.qDrawChart->grab().save(&buffer, "PNG"))
        return QStringLiteral("the chart could not be encoded as PNG");
    return saved(replace_file(path.toStdString(), bytes.toStdString()));
}

QString Rebound::exportCsv(const QString& path) {
    const RunReport* r = report();
    if (!r) return QStringLiteral("no run yet");
    return saved(replace_file(path.toStdString(), r->csv()));
}

QString Rebound::exportJson(const QString& path) {
    const RunReport* r = report();
    if (!r || !r->ended()) return QStringLiteral("the run has not ended yet");
    return saved(replace_file(path.toStdString(), r->json()));
}

// The dialog asks for the file (the toolkit's own dialog, so it also works without a desktop
// portal); a failed save is said on the status line.
void Rebound::saveWithDialog(const QString& title, const QString& filter,
                             QString (Rebound::*save)(const QString&)) {
    const QString path = QFileDialog::getSaveFileName(this, title, QString(), filter, nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (path.isEmpty()) return;
    const QString why = (this->*save)(path);
    guilog("Rebound::saveWithDialog(): |%s| %s\n", path.toUtf8().constData(),
           why.isEmpty() ? "saved" : why.toUtf8().constData());
    if (!why.isEmpty()) form_.tlStatus->setText(QStringLiteral("not saved: %1").arg(why));
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
