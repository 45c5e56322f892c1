#include "app/client_output.h"
#include "tests/app/app_test_support.h"

#include <QFile>

#include <string>

namespace {

// Lines as reboundcli prints them: T is the time text every timed line begins with.
const QString T = QStringLiteral("2026/12/08 20:08:46.500000 ");

QString sendLine(const char* iSR, const char* time) {
    return T + QStringLiteral("rebound_connect():1 %1 sendsize=udp_send(127.0.0.1:33333): "
                              "argssize=100 sendsize=100 time=%2")
                   .arg(QLatin1String(iSR), QLatin1String(time));
}

QString recvLine(const char* iSR, const char* seq, const char* time) {
    return T + QStringLiteral("rebound_connect():1 %1 sendsize=udp_recv(127.0.0.1:33333): "
                              "recvsize=100 iterpkts=%2 time=%3")
                   .arg(QLatin1String(iSR), QLatin1String(seq), QLatin1String(time));
}

// Every kind of line the client prints besides the send and phase-1 receive lines and the
// three counter lines; the parser must take nothing from them.
const QStringList kIgnoredLines = {
    "rebound_connect(): connaddr=create_sockaddrin(AF_INET, ipaddr=127.0.0.1, ipport=33333):",
    "rebound_connect(): connaddr.sin_addr.s_addr=0100007F (127.0.0.1) connaddr.sin_port=33333",
    "rebound_connect(): rebound_send(void *arg):/rebound_recv(void *arg):",
    "rebound_connect(): buffdata= |00|00|00|00| |01|00|00|00| |64|00|00|00| |64|00|00|00|",
    T + "rebound_connect():1 /000004/000004/000003/ TIMEOUT: if (result==0) continue;",
    T + "rebound_connect():1 /000004/000004/000003/ SOCKERR: if (result <0) return  ;",
    T + "rebound_send():1 i=000004 S=000004 R=000003 sendsize=udp_send(): sendsize=0 if "
        "(sendsize<=0): error=0:Success",
    T + "rebound_connect():1 i=000004 S=000004 R=000003 result=select(): TIMEOUT: if "
        "(result==0) continue;",
    T + "rebound_connect():1 i=000004 S=000004 R=000003 result=select(): SOCKERR: if (result "
        "<0) return  ;",
    T + "rebound_recv():1 i=000004 S=000004 R=000003 recvsize=udp_recv(): recvsize=-1 if "
        "(recvsize<=0): error=1:Operation not permitted",
    T + "rebound_connect():2 i=000003 S=000004 R=000003 sendsize=udp_recv(127.0.0.1:33333): "
        "recvsize=100 iterpkts=000003",
    T + "rebound_connect():2 i=000004 S=000004 R=000004 TIMEOUT: if (result==0) continue;",
    T + "rebound_connect():2 i=000004 S=000004 R=000004 SOCKERR: if (result <0) return;",
    T + "rebound_connect():2 i=000003 S=000004 R=000003 recvsize=udp_recv(): recvsize=-1 if "
        "(recvsize<=0): recvsize=1:Operation not permitted",
    "rebound_connect(): difftime=0.312500 [s] (1765224526.500000 - 1765224526.187500)",
    "rebound_connect(): recvpkts/sendpkts=75.000[%]",
    "sendpkts=5", // shorter than the statistics prefix: nothing is left of it
    "",
};

QList<double> zerosThen(int zeros, double last) {
    QList<double> list(zeros, 0.0);
    list.append(last);
    return list;
}

// Feeds the lines one by one, then writes the exit-time log in slices of `slice` log lines.
ClientRun parseClientOutput(const QStringList& lines, qsizetype slice = 500) {
    ClientOutput output;
    for (const QString& line : lines)
        output.addLine(line.toUtf8());
    output.beginExitLog();
    while (!output.continueExitLog(slice)) {}
    return output.run();
}

struct Case {
    const char* name;
    QStringList lines;
    QList<double> sendtm, recvtm;
    int32_t sendpkts, recvpkts, iterpkts;
};

using ClientOutputTest = apptest::InTempDir;

TEST_F(ClientOutputTest, LinesBecomeListsAndCounters) {
    const Case cases[] = {
        {"the worked example",
         {sendLine("i=000000 S=000000 R=000000", "0.000977"), "rebound_connect(): recvpkts=97"},
         {0.000977},
         {},
         0,
         97,
         0},
        {"a complete run: one entry per line, in line order, no zeros",
         {kIgnoredLines[0], kIgnoredLines[3], sendLine("i=000000 S=000000 R=000000", "0.000977"),
          recvLine("i=000000 S=000001 R=000000", "000000", "0.001953"), kIgnoredLines[3],
          sendLine("i=000001 S=000001 R=000001", "0.000000"), kIgnoredLines[7],
          sendLine("i=000002 S=000002 R=000001", "0.002930"),
          // The late echo of datagram 1 arrives in iteration 2.
          recvLine("i=000002 S=000003 R=000001", "000001", "0.000977"), kIgnoredLines[10],
          kIgnoredLines[14], "rebound_connect(): sendpkts=3", "rebound_connect(): recvpkts=3",
          "rebound_connect(): iterpkts+1=3", "rebound_connect(): recvpkts/sendpkts=100.000[%]"},
         {0.000977, 0.0, 0.002930},
         {0.001953, 0.000977},
         3,
         3,
         3},
        {"a receive counter ahead of the list: zeros up to its position",
         {recvLine("i=000005 S=000006 R=000003", "000005", "0.001953")},
         {},
         zerosThen(2, 0.001953),
         0,
         0,
         0},
        {"the line printed instead of a percentage when nothing was sent",
         {"rebound_connect(): sendpkts==0", "rebound_connect(): recvpkts=0",
          "rebound_connect(): iterpkts+1=1"},
         {},
         {},
         0,
         0,
         1},
        {"texts that are no numbers count as 0",
         {sendLine("i=000000 S=abc R=000000", "soon"), "rebound_connect(): recvpkts=many"},
         {0.0},
         {},
         0,
         0,
         0},
        {"every other line is ignored", kIgnoredLines, {}, {}, 0, 0, 0},
        {"a client that wrote nothing", {}, {}, {}, 0, 0, 0},
        // Hostile or broken output: the zero-fill stops at the record's capacity, and a
        // counter beyond the signed 32-bit range is as good as no number.
        {"huge sequence counters",
         {sendLine("i=000000 S=4294967295 R=000000", "0.5"),
          recvLine("i=000000 S=000000 R=99999999999", "000000", "0.25"),
          "rebound_connect(): sendpkts=4294967295", "rebound_connect(): recvpkts=2147483648",
          "rebound_connect(): iterpkts+1=2147483647"},
         zerosThen(kClientZeroFillLimit, 0.5),
         {0.25},
         0,
         0,
         2147483647},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ClientRun run = parseClientOutput(c.lines);
        EXPECT_EQ(run.qsendtm, c.sendtm);
        EXPECT_EQ(run.qrecvtm, c.recvtm);
        EXPECT_EQ(run.sendpkts, c.sendpkts);
        EXPECT_EQ(run.recvpkts, c.recvpkts);
        EXPECT_EQ(run.iterpkts, c.iterpkts);
    }
}

// Whatever the slices, the exit-time log is the same, down to a slice boundary inside a
// zero-fill.
TEST_F(ClientOutputTest, LogsEveryFindingWithItsCutText) {
    const QStringList lines = {sendLine("i=000000 S=000000 R=000000", "0.000977"),
                               recvLine("i=000003 S=000004 R=000003", "000003", "0.001953"),
                               recvLine("i=000004 S=000005 R=000003", "000004", "0.000977"),
                               sendLine("i=000004 S=000002 R=000004", "0.000000"),
                               "rebound_connect(): sendpkts==0",
                               "rebound_connect(): recvpkts=97",
                               "rebound_connect(): iterpkts+1=5"};
    const QStringList expected = {
        "Rebound::slotProcessExited():",
        "Rebound::slotProcessExited(): SEND qstrsend=|000000| qstrtime=|0.000977|",
        "Rebound::slotProcessExited(): RECV qstrrecv=|000003| qstrtime=|0.001953|",
        "Rebound::slotProcessExited(): RECV while: 3 < 0 ?",
        "Rebound::slotProcessExited(): RECV while: 3 < 1 ?",
        "Rebound::slotProcessExited(): RECV qstrrecv=|000003| qstrtime=|0.000977|",
        "Rebound::slotProcessExited(): SEND qstrsend=|000002| qstrtime=|0.000000|",
        "Rebound::slotProcessExited(): qstrsp==0 sendpkts=0",
        "Rebound::slotProcessExited(): qstrrp=97 recvpkts=97",
        "Rebound::slotProcessExited(): qstrlp=5 iterpkts=5",
        "Rebound::slotProcessExited(): qsendtm->size()=2 qrecvtm->size()=4",
    };
    for (qsizetype slice : {1, 2, 3, 500}) {
        SCOPED_TRACE(slice);
        QFile::remove(path("reboundgui.log"));
        parseClientOutput(lines, slice);
        EXPECT_EQ(logLines(), expected);
    }
}

// The notes kept for the exit-time log do not grow with the lines' length: one byte per finding
// of the client's usual shape, nothing for a line that holds none.
TEST_F(ClientOutputTest, KeepsOneBytePerUsualFindingWhateverTheLinesLength) {
    ClientOutput output;
    const QString padding(3000, QLatin1Char('x'));
    for (int i = 0; i < 1000; ++i) {
        const QByteArray iSR = QString::asprintf("i=%06d S=%06d R=%06d", i, i, i).toLatin1();
        output.addLine((sendLine(iSR.constData(), "0.000041") + " " + padding).toUtf8());
        output.addLine(("rebound_connect(): buffdata= " + padding).toUtf8());
    }
    EXPECT_EQ(output.run().qsendtm.size(), 1000);
    EXPECT_EQ(output.noteBytes(), 1000);
}

// Send- and receive-shaped lines whose fields are thousands of characters long (a broken or
// hostile client): each keeps a note of bounded size, its texts cut in the exit-time log.
TEST_F(ClientOutputTest, LongFieldsAreCutSoEachLineKeepsABoundedNote) {
    ClientOutput output;
    const QByteArray field(4000, '7');
    const QByteArray sendFields = "i=000000 S=" + field + " R=000000";
    const QByteArray recvFields = "i=000000 S=000000 R=" + field;
    constexpr int kLines = 1000;
    for (int i = 0; i < kLines; ++i) {
        output.addLine(sendLine(sendFields.constData(), field.constData()).toUtf8());
        output.addLine(recvLine(recvFields.constData(), "000000", field.constData()).toUtf8());
    }
    EXPECT_EQ(output.run().qsendtm.size(), kLines) << "a counter that does not convert is 0";
    EXPECT_LE(output.noteBytes(), 2 * kLines * (2 * (kNotedTextLimit + 1) + 5));
    output.beginExitLog();
    while (!output.continueExitLog(500)) {}
    const QString cut(kNotedTextLimit, QLatin1Char('7'));
    EXPECT_TRUE(logLines().contains("Rebound::slotProcessExited(): SEND qstrsend=|" + cut +
                                    "| qstrtime=|" + cut + "|"));
}

TEST_F(ClientOutputTest, SendZeroFillLogsItsOwnLine) {
    const ClientRun run = parseClientOutput({sendLine("i=000002 S=000003 R=000000", "0.1")});
    EXPECT_EQ(run.qsendtm, zerosThen(2, 0.1));
    EXPECT_TRUE(logLines().contains("Rebound::slotProcessExited(): SEND while :3 < 0 ?"));
    EXPECT_TRUE(logLines().contains("Rebound::slotProcessExited(): SEND while :3 < 1 ?"));
}

} // namespace
