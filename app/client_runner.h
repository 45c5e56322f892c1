// The external run: reboundcli started with the six field texts, its standard output read as it
// arrives while the event loop keeps running, cut into lines of bounded length, logged, and
// parsed line by line into a live result record (for the chart) and the findings of the
// exit-time parse (written to the log in slices once the client has ended).
#pragma once

#include "app/client_output.h"
#include "app/guilog.h"
#include "app/line_splitter.h"
#include "app/run_report.h"
#include "app/run_results.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <string>

class QProcess;

// The reader's log line for one output line, around the line's bytes.
inline constexpr const char* kReadLinePrefix = "Rebound::slotReadFromStdout(): line=|";
inline constexpr const char* kReadLineSuffix = "|\n";

// Bytes kept of one output line, as many as its log line holds whole; the rest of a longer line
// is dropped up to its line end.
inline constexpr qsizetype kClientLineLimit = kGuilogBufferSize - 1 -
                                              std::char_traits<char>::length(kReadLinePrefix) -
                                              std::char_traits<char>::length(kReadLineSuffix);

// Exit-time log lines written per pass of the event loop.
inline constexpr qsizetype kExitLogSlice = 500;

// Grace period between the terminate request and the kill of a forgotten client.
inline constexpr int kKillDelayMs = 5000;

// Characters kept of the client's first line on standard error (its refusal, for the status
// line); the rest of its standard error is passed on, never kept.
inline constexpr qsizetype kClientMessageLimit = 300;

// reboundcli's exit statuses the window tells apart.
inline constexpr int kClientExitEarly = 1;
inline constexpr int kClientExitUsage = 2;
inline constexpr int kClientExitNoEcho = 3;

// The command-line client an external run starts: the reboundcli beside the window's own
// executable when there is one, otherwise the bare name for the usual program search.
QString clientProgram(const QString& applicationDir);

class ClientRunner : public QObject {
    Q_OBJECT

  public:
    explicit ClientRunner(QObject* parent = nullptr);
    ~ClientRunner() override;

    // The client while a run is known: started, or failed to start and not yet forgotten. A
    // launch is refused while there is one.
    const QProcess* process() const { return process_; }

    // The findings: lists and counters as the exit-time parse sets them.
    const ClientRun& run() const { return output_.run(); }

    // The result record rebuilt from the lines read so far, with its counters, the probes'
    // marks and the run's state.
    const RunResults& live() const { return live_; }

    // The run's summary, JSON document and CSV rows, as far as its lines went; null before
    // the first launch.
    const RunReport* report() const { return report_.get(); }

    // Whether the exit-time log is still being written.
    bool parsing() const { return parsing_; }

    // Bytes held for the output read so far: the notes of the findings and an unfinished line.
    qsizetype heldBytes() const { return output_.noteBytes() + splitter_.pending(); }

    // Launches `program` with `arguments`, logging under the launcher's name, and pushes the
    // wait cursor once it runs. A client that does not start stays known until forget().
    // `run` describes the measurement asked for (the probes planned, the time limit that makes
    // an echo late, what the reports name).
    void start(const QString& program, const QStringList& arguments,
               const run_description& run = {});

    // The reader: logs and parses every complete line waiting; once the client has ended, pops
    // the wait cursor and releases the process (a new launch is possible from then on).
    void readOutput();

    // The exit-time parse: the entry log line and the first slice of the findings' lines now,
    // the rest from the event loop; parsed() follows the last.
    void parseExit();

    // Close: asks a known client to terminate, kills it kKillDelayMs later if it still runs,
    // and forgets it; none of its later signals reaches the runner.
    void forget();

    // Connect: the findings so far are dropped (an exit-time log under way is finished first).
    void clearFindings();

  signals:
    void outputReady(); // standard output has data or the client ended: call readOutput()
    void exited();      // the client ended and its output is read: call parseExit()
    void liveChanged(); // live() holds more of the run
    void parsed();      // the exit-time log is written; run() is final

  private:
    void readError(QProcess* proc);
    void clientEnded(int exitCode, bool crashed);
    void continueParse();
    void finishParse();
    void endParse(); // the log is written: parsing stops and parsed() is emitted

    QProcess* process_ = nullptr;
    bool cursor_ = false; // whether this run pushed the wait cursor
    LineSplitter splitter_{kClientLineLimit};
    ClientOutput output_;
    RunResults live_;
    std::unique_ptr<RunReport> report_;
    QByteArray message_; // the first line of the client's standard error, bounded
    bool messageDone_ = false;
    bool parsing_ = false;
    QTimer parseTimer_;
};
