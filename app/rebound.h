// The main window: the fixed form, the commands, the one holder of the results the chart draws,
// and the external client runner.
#pragma once

#include "app/chart.h"
#include "app/client_runner.h"
#include "app/run_report.h"
#include "app/run_results.h"
#include "app/window_form.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <memory>

class QAction;
class QProcess;
class RepaintPacer;

// Smallest gap between two updates of the statistics panel while a run goes on, and how many
// times the last update's cost must have passed before the next.
inline constexpr qint64 kLivePanelGapMs = 500;
inline constexpr qint64 kLivePanelCostShare = 10;

// Name of the icon file, looked up in the directory of the program's executable.
inline constexpr const char* kWindowIconFile = "tachy-16x16.png";

class Rebound : public QMainWindow {
    Q_OBJECT

  public:
    // Builds the form, fills the fields with their defaults and shows the window.
    explicit Rebound(QWidget* parent = nullptr, Qt::WindowFlags fl = {});
    ~Rebound() override;

    // Runs a measurement through the external command-line client; the event loop keeps
    // running, the chart follows the run as its lines arrive, and Close ends the client.
    virtual void cmdNetConnCli_clicked();

    // What the chart shows: the last run of either kind, read-only.
    ChartCounters counters() const { return results_.counters; }
    const rebound_info& record() const { return *reboundinfo; }
    const RunResults& results() const { return results_; }
    // The report of the run the chart shows; null before the first run.
    const RunReport* report() const;

    // The exports behind the panel's buttons, without the file dialog: the chart frame as it
    // is drawn now as PNG, the run as CSV, the run as reboundcli's JSON document. Each file is
    // replaced whole (written beside it, then renamed). Empty on success, else why not.
    QString exportPng(const QString& path);
    QString exportCsv(const QString& path);
    QString exportJson(const QString& path);
    // The external runner's findings and its client while one is known.
    const QList<double>& clientSendTimes() const { return runner_->run().qsendtm; }
    const QList<double>& clientRecvTimes() const { return runner_->run().qrecvtm; }
    const QProcess* clientProcess() const { return runner_->process(); }
    const ClientRunner& clientRunner() const { return *runner_; }

  public slots:
    virtual void cmdExitApp_clicked();
    virtual void cmdQuit_clicked();
    virtual void cmdNetConn_clicked();
    virtual void cmdNetClose_clicked();
    virtual void slotReadFromStdout();
    virtual void slotProcessExited();

  protected:
    // Draws the chart in the chart frame's own paint event.
    bool eventFilter(QObject* watched, QEvent* event) override;
    virtual void languageChange();

  private:
    void clearChart();
    // The status line and the statistics panel, from the results the chart shows.
    void showRunTexts();
    void saveWithDialog(const QString& title, const QString& filter,
                        QString (Rebound::*save)(const QString&));
    void scheduleRepaint();
    // While the chart belongs to the external run: its results so far, or final ones.
    void showClientRun();
    void showClientResults();

    // The results the chart draws. An in-process run fills the record in place; an external
    // run's results are copied in as they grow, while the chart still belongs to that run.
    RunResults results_;
    rebound_info* reboundinfo = &results_.record;
    std::unique_ptr<RunReport> report_; // of the last in-process run
    QElapsedTimer panelClock_;           // since the panel's last update
    qint64 panelGapMs_ = kLivePanelGapMs; // until the next one may come
    bool chartShowsClient_ = false; // the last run started was an external one

    WindowForm form_;
    QAction* actionMenuFileExitApp = nullptr;
    ClientRunner* runner_ = nullptr;
    RepaintPacer* pacer_ = nullptr;
};
