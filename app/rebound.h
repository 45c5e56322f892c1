// The main window: the chart frame, the six test parameters, the commands, the state of the
// last measurement and the external client runner.
#pragma once

#include "app/chart.h"
#include "engine/result_record.h"

#include <QList>
#include <QMainWindow>
#include <QStringList>

#include <cstdint>

class QAction;
class QLabel;
class QLineEdit;
class QProcess;
class QPushButton;

// Initial window size: at least 640 x 520; each dimension of a larger minimum size hint wins
// on its own.
QSize initialWindowSize(QSize minimumHint);

// The command-line client an external run starts: the reboundcli beside the window's own
// executable when there is one, otherwise the bare name for the usual program search.
QString clientProgram(const QString& applicationDir);

// Name of the icon file, looked up in the directory of the program's executable.
inline constexpr const char* kWindowIconFile = "tachy-16x16.png";

class Rebound : public QMainWindow {
    Q_OBJECT

  public:
    // Builds the form, fills the fields with their defaults and shows the window.
    explicit Rebound(QWidget* parent = nullptr, Qt::WindowFlags fl = {});
    ~Rebound() override;

    // Runs a measurement through the external command-line client; the event loop keeps
    // running, and Close ends the client.
    virtual void cmdNetConnCli_clicked();

    // The state of the last run, read-only.
    ChartCounters counters() const { return {sendpkts, recvpkts, iterpkts}; }
    const rebound_info& record() const { return *reboundinfo; }
    const QStringList& clientLines() const { return qlines; }
    const QList<double>& clientSendTimes() const { return qsendtm; }
    const QList<double>& clientRecvTimes() const { return qrecvtm; }
    const QProcess* clientProcess() const { return qproc; }

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
    void createWidgets();
    void clearChart();
    void scheduleRepaint();

    QStringList qlines;    // complete lines of the external client's standard output
    QList<double> qsendtm; // send durations parsed from them, seconds
    QList<double> qrecvtm; // round-trip times parsed from them, seconds
    int32_t sendpkts = 0;
    int32_t recvpkts = 0;
    int32_t iterpkts = 0; // the record's iterpkts plus one
    rebound_info info{};  // the one result record; large, hence the window lives on the heap
    rebound_info* reboundinfo = &info;

    QLabel* qDrawChart = nullptr;
    QLabel *tlIpHost = nullptr, *tlIpPort = nullptr, *tlTimeout = nullptr;
    QLabel *tlCount = nullptr, *tlSendSize = nullptr, *tlRecvSize = nullptr;
    QLineEdit *leIpHost = nullptr, *leIpPort = nullptr, *leTimeout = nullptr;
    QLineEdit *leCount = nullptr, *leSendSize = nullptr, *leRecvSize = nullptr;
    QPushButton *qpbNetConn = nullptr, *qpbNetClose = nullptr, *qpbQuit = nullptr;
    QPushButton* qpbNetConnCli = nullptr;
    QAction* actionMenuFileExitApp = nullptr;

    QProcess* qproc = nullptr; // the external client while a run is known
    bool qprocCursor = false;  // whether that run pushed the wait cursor
};
