#include "address/net_address.h"
#include "app/client_record.h"
#include "engine/round_trip_client.h"
#include "tests/app/app_test_support.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/output_grammar.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <string>

namespace {

const char* const T = "2026/12/08 20:08:46.500000";

QByteArray sendLine(int i, int S, int R, int sent, const char* time) {
    return QString::asprintf("%s rebound_connect():1 i=%06d S=%06d R=%06d "
                             "sendsize=udp_send(127.0.0.1:33333): argssize=100 sendsize=%d "
                             "time=%s",
                             T, i, S, R, sent, time)
        .toLatin1();
}

QByteArray recvLine(int phase, int i, int S, int R, int got, int seq, const char* time) {
    QByteArray line = QString::asprintf("%s rebound_connect():%d i=%06d S=%06d R=%06d "
                                        "sendsize=udp_recv(127.0.0.1:33333): recvsize=%d "
                                        "iterpkts=%06d",
                                        T, phase, i, S, R, got, seq)
                          .toLatin1();
    if (time) line += QByteArray(" time=") + time;
    return line;
}

std::unique_ptr<RunResults> apply(const QList<QByteArray>& lines) {
    auto results = std::make_unique<RunResults>();
    for (const QByteArray& line : lines)
        addClientLine(line, results.get());
    return results;
}

// Send and echo lines as a run prints them, with a late echo, a failed send and a drained one.
TEST(ClientRecord, LinesFillTheRecordAsTheClientDoes) {
    const auto r = apply({
        sendLine(0, 0, 0, 100, "0.000050"),
        recvLine(1, 0, 1, 0, 100, 0, "0.000120"),
        sendLine(1, 1, 1, 100, "0.000060"),
        "2026/12/08 20:08:46.500000 rebound_connect():1 i=000001 S=000002 R=000001 "
        "result=select(): TIMEOUT: if (result==0) continue;",
        sendLine(2, 2, 1, -1, "0.000070"), // failed: stored, not counted
        sendLine(3, 2, 1, 100, "0.000080"),
        recvLine(1, 3, 3, 1, 100, 3, "0.000250"), // the echo of 3 before that of 1
        recvLine(2, 2, 3, 2, 100, 1, nullptr),    // 1 drained late: counted, no time
        "rebound_connect(): sendpkts=3",
    });
    const rebound_info& rec = r->record;
    EXPECT_EQ(rec.sendpkts, 3);
    EXPECT_EQ(rec.recvpkts, 3);
    EXPECT_EQ(rec.iterpkts, 1);
    EXPECT_EQ(r->counters.sendpkts, 3);
    EXPECT_EQ(r->counters.recvpkts, 3);
    EXPECT_EQ(r->counters.iterpkts, 2);
    const double send[] = {0.000050, 0.000060, 0.000070, 0.000080};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(rec.sendtime[i], send[i]) << i;
    EXPECT_EQ(rec.recvtime[0], 0.000120);
    EXPECT_EQ(rec.recvtime[1], 0.0);
    EXPECT_EQ(rec.recvtime[3], 0.000250);
}

TEST(ClientRecord, OnlyPhaseLinesOfSendsAndEchoesChangeIt) {
    const QList<QByteArray> ignored = {
        "rebound_connect(): connaddr=create_sockaddrin(AF_INET, ipaddr=127.0.0.1, ipport=1):",
        "rebound_connect(): buffdata= |00|00|00|00| |01|00|00|00| |64|00|00|00| |64|00|00|00|",
        QByteArray(T) + " rebound_send():1 i=000004 S=000004 R=000003 sendsize=udp_send(): "
                        "sendsize=0 if (sendsize<=0): error=0:Success",
        QByteArray(T) + " rebound_connect():2 i=000003 S=000004 R=000003 recvsize=udp_recv(): "
                        "recvsize=-1 if (recvsize<=0): recvsize=1:Operation not permitted",
        "rebound_connect(): difftime=0.312500 [s] (1765224526.500000 - 1765224526.187500)",
        "rebound_connect(): recvpkts=3",
        "",
        "time=1 udp_send udp_recv iterpkts=5",
    };
    RunResults results;
    for (const QByteArray& line : ignored)
        EXPECT_FALSE(addClientLine(line, &results)) << line.constData();
    EXPECT_EQ(results.record.sendpkts + results.record.recvpkts + results.record.iterpkts, 0);
    EXPECT_TRUE(addClientLine(sendLine(0, 0, 0, 1, "0.1"), &results));
}

// Sequence numbers the record has no slot for are counted, never stored.
TEST(ClientRecord, SequenceNumbersBeyondTheRecordAreCountedOnly) {
    const auto r = apply({
        sendLine(REBOUND_MAXPKTS, 0, 0, 100, "0.5"),
        recvLine(1, 0, 1, 0, 100, REBOUND_MAXPKTS, "0.5"),
        recvLine(1, 0, 1, 1, 100, -1, "0.5"),
        recvLine(1, 0, 1, 2, 100, 2147483647, "0.5"),
    });
    EXPECT_EQ(r->record.sendpkts, 1);
    EXPECT_EQ(r->record.recvpkts, 3);
    EXPECT_EQ(r->counters.iterpkts, int32_t(0x80000000u)) << "INT32_MAX plus one wraps";
    for (int i = 0; i < REBOUND_MAXPKTS; ++i)
        ASSERT_EQ(r->record.recvtime[i] + r->record.sendtime[i], 0.0) << i;
}

// The responder's address as the start line gives it to the run's observers.
struct StartSeen : rebound_observer {
    std::string endpoint;
    void run_started(const rebound_run_start& e) override { endpoint = endpoint_text(e.connaddr); }
};

// The real client's lines against the real responder, over both families: the counters an
// in-process run of the same measurement gives, each echo's printed time in the slot of its
// sequence number, the responder's address from the start line.
TEST(ClientRecord, ReboundcliLinesRebuildTheInProcessRecord) {
    apptest::Responder responder({}, ""); // both families
    ASSERT_TRUE(responder.answering());
    const std::string port = std::to_string(responder.port());
    for (const std::string host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        const testsupport::RunResult cli =
            testsupport::run_program("reboundcli", {"-h", host, "-p", port, "-t", "2", "-c", "25",
                                                    "--sendsize=64", "--recvsize=64"});
        ASSERT_EQ(cli.exit_code, 0) << cli.err;
        RunResults fromLines;
        StartSeen start;
        for (const std::string& line : cli.lines)
            addClientLine(QByteArray::fromStdString(line), &fromLines, &start);
        EXPECT_EQ(start.endpoint, endpoint_of(host, responder.port()));

        auto inProcess = std::make_unique<rebound_info>();
        testsupport::capture_stdout([&] {
            rebound_connect(host.c_str(), responder.port(), 2, 25, 64, 64, inProcess.get());
        });
        EXPECT_EQ(fromLines.record.sendpkts, inProcess->sendpkts);
        EXPECT_EQ(fromLines.record.recvpkts, inProcess->recvpkts);
        EXPECT_EQ(fromLines.record.iterpkts, inProcess->iterpkts);
        EXPECT_EQ(fromLines.record.recvpkts, 25);
        // Each echo's time in the slot of its sequence number, as printed.
        const std::vector<std::string> echoes = grammar::of_kind(cli.lines, "recv1");
        for (const std::string& line : echoes) {
            const std::string time = " time=";
            EXPECT_EQ(fromLines.record.recvtime[grammar::field(line, "iterpkts")],
                      std::stod(line.substr(line.find(time) + time.size())));
        }
        EXPECT_EQ(echoes.size(), 25u);
        for (int i = 25; i < 30; ++i)
            EXPECT_EQ(fromLines.record.recvtime[i] + inProcess->recvtime[i], 0.0);
    }
}

// Scheduled runs interleave sends and echoes; every echo line names its own probe. Marks follow
// the echoes, not the order of the lines: a late echo (after the time limit) is marked late,
// a probe without echo lost once the run is over.
TEST(ClientRecord, ScheduledLinesInterleaveAndKeepTheirMarks) {
    auto r = std::make_unique<RunResults>();
    r->timeout = 0.010;
    r->planned = 4;
    r->state = RunState::running;
    for (const QByteArray& line : {
             sendLine(0, 0, 0, 100, "0.000010"),
             sendLine(1, 1, 0, 100, "0.000010"),
             recvLine(1, 1, 2, 0, 100, 1, "0.000300"),
             sendLine(2, 2, 1, 100, "0.000010"),
             recvLine(1, 0, 3, 1, 100, 0, "0.015000"), // past the 10 ms limit
             sendLine(3, 3, 2, 100, "0.000010"),
             recvLine(1, 3, 4, 2, 100, 3, "0.000200"),
         })
        addClientLine(line, r.get());
    r->state = RunState::finished;
    EXPECT_EQ(r->span, 4);
    EXPECT_EQ(r->record.uniqpkts, 3);
    EXPECT_EQ(r->record.latepkts, 1);
    EXPECT_EQ(r->record.reorderpkts, 1);
    EXPECT_EQ(r->record.recvtime[0], 0.015);
    EXPECT_EQ(r->record.recvtime[1], 0.0003);
    const uint8_t timed = kMarkSent | kMarkAnswered | kMarkTimed;
    EXPECT_EQ(r->marks[0], timed | kMarkLate);
    EXPECT_EQ(r->marks[1], timed);
    EXPECT_EQ(r->marks[2], kMarkSent);
    EXPECT_TRUE(probeLost(*r, 2));
    EXPECT_FALSE(probeLost(*r, 0));
}

// The real client's --period lines against the real responder: every probe answered, each in
// the slot its echo names, none marked lost.
TEST(ClientRecord, ReboundcliPeriodLinesRebuildTheRun) {
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    const testsupport::RunResult cli = testsupport::run_program(
        "reboundcli", {"-h", "127.0.0.1", "-p", std::to_string(responder.port()), "-t", "2", "-c",
                       "50", "--period", "0.0005", "--sendsize=64", "--recvsize=64"});
    ASSERT_EQ(cli.exit_code, 0) << cli.err;
    auto r = std::make_unique<RunResults>();
    r->timeout = 2;
    for (const std::string& line : cli.lines)
        addClientLine(QByteArray::fromStdString(line), r.get());
    r->state = RunState::finished;
    EXPECT_EQ(r->span, 50);
    EXPECT_EQ(r->record.sendpkts, 50);
    EXPECT_EQ(r->record.uniqpkts, 50);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(r->marks[i], kMarkSent | kMarkAnswered | kMarkTimed) << i;
        EXPECT_FALSE(probeLost(*r, i));
    }
    for (const std::string& line : grammar::of_kind(cli.lines, "recv1")) {
        const std::string time = " time=";
        EXPECT_EQ(r->record.recvtime[grammar::field(line, "iterpkts")],
                  std::stod(line.substr(line.find(time) + time.size())));
    }
}

} // namespace
