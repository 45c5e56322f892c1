// What the window keeps of a run beside the chart: the panel's figures, the CSV and JSON
// exports and the PNG of the chart, against real runs.
#include "app/client_record.h"
#include "app/rebound.h"
#include "app/run_report.h"
#include "tests/app/app_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/udp_peer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <nlohmann/json.hpp>

#include <cmath>
#include <map>

namespace {

using json = nlohmann::json;

// name -> value of the panel's "name value" lines.
std::map<QString, double> panelFigures(const QString& text) {
    std::map<QString, double> figures;
    static const QRegularExpression row(R"(^(\S+)\s+(-?[\d.]+))");
    for (const QString& line : text.split('\n'))
        if (const auto m = row.match(line); m.hasMatch())
            figures[m.captured(1)] = m.captured(2).toDouble();
    return figures;
}

// The value after `name ` (at a line's start or after a blank) in the CLI's summary text.
double summaryFigure(const std::string& summary, const std::string& name) {
    for (size_t at = summary.find(name + " "); at != std::string::npos;
         at = summary.find(name + " ", at + 1))
        if (at == 0 || summary[at - 1] == ' ' || summary[at - 1] == '\n')
            return std::stod(summary.substr(at + name.size() + 1));
    return NAN;
}

// An external run's panel is what reboundcli's own summary says of the same run (the lines
// print round trips to the microsecond, the summary rounds to it too).
TEST(RunReportTest, PanelFiguresEqualTheCliSummaryOfTheSameRun) {
    apptest::Responder responder;
    ASSERT_TRUE(responder.answering());
    const testsupport::RunResult cli = testsupport::run_program(
        "reboundcli", {"-h", "127.0.0.1", "-p", std::to_string(responder.port()), "-t", "2", "-c",
                       "200", "--sendsize=64", "--recvsize=64", "-s"});
    ASSERT_EQ(cli.exit_code, 0) << cli.err;
    auto results = std::make_unique<RunResults>();
    results->timeout = 2;
    RunReport report(run_description{});
    for (const std::string& line : cli.lines)
        addClientLine(QByteArray::fromStdString(line), results.get(), &report);
    report.run_ended({rebound_end::normal, &results->record, 0, 0});

    const std::map<QString, double> panel = panelFigures(statsPanelText(report.summary(results->record)));
    const std::string summary = cli.out.substr(cli.out.find("--- "));
    const std::pair<const char*, const char*> timed[] = {
        {"min", "min"}, {"median", "median"}, {"p90", "p90"}, {"p99", "p99"}, {"max", "max"}};
    for (const auto& [ours, theirs] : timed) {
        SCOPED_TRACE(ours);
        ASSERT_EQ(panel.count(ours), 1u);
        EXPECT_NEAR(panel.at(ours), summaryFigure(summary, theirs), 0.0015);
    }
    EXPECT_NEAR(panel.at("jitter"), summaryFigure(summary, "(IPDV) ms: mean"), 0.0015);
    EXPECT_EQ(panel.at("probes"), summaryFigure(summary, "probes sent"));
    EXPECT_EQ(panel.at("loss"), 0.0);
    EXPECT_EQ(panel.at("dupl."), summaryFigure(summary, "duplicates"));
    EXPECT_EQ(panel.at("late"), summaryFigure(summary, "late"));
}

class Exports : public apptest::InTempDir {
  protected:
    void SetUp() override {
        apptest::InTempDir::SetUp();
        window = std::make_unique<Rebound>();
    }
    void TearDown() override {
        window.reset();
        apptest::InTempDir::TearDown();
    }
    void setField(const char* name, const QString& text) {
        window->findChild<QLineEdit*>(name)->setText(text);
    }
    std::unique_ptr<Rebound> window;
};

// A run of 21 probes of which 7 get no echo: the chart marks them, the panel counts them, and
// the exports hold every probe.
TEST_F(Exports, CsvJsonAndPngHoldTheRunWithItsLosses) {
    constexpr int kProbes = 21;
    apptest::LossyPeer peer(kProbes);
    setField("leIpHost", "127.0.0.1");
    setField("leIpPort", QString::number(peer.port()));
    setField("leTimeout", "0.2");
    setField("leCount", QString::number(kProbes));
    setField("leSendSize", "64");
    setField("leRecvSize", "64");
    EXPECT_FALSE(window->findChild<QPushButton*>("qpbSaveJson")->isEnabled());
    window->findChild<QPushButton*>("qpbNetConn")->click();
    const rebound_info& r = window->record();
    ASSERT_EQ(r.sendpkts, kProbes);
    ASSERT_EQ(r.uniqpkts, kProbes - 7);
    EXPECT_EQ(window->findChild<QLabel*>("tlStatus")->text(),
              "finished: 14 of 21 probes answered, 7 lost");
    const auto panel = panelFigures(window->findChild<QLabel*>("tlStats")->text());
    EXPECT_NEAR(panel.at("loss"), 33.3, 0.05);
    EXPECT_EQ(panel.at("echoes"), 14);
    EXPECT_TRUE(window->findChild<QPushButton*>("qpbSaveJson")->isEnabled());

    ASSERT_EQ(window->exportCsv(path("run.csv")), "");
    QFile csv(path("run.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 1 + kProbes);
    EXPECT_EQ(rows[0] + "\n", kCsvHeader);
    for (int seq = 0; seq < kProbes; ++seq) {
        SCOPED_TRACE(seq);
        const QStringList cells = rows[1 + seq].split(',');
        ASSERT_EQ(cells.size(), 7);
        EXPECT_EQ(cells[0].toInt(), seq);
        const bool lost = seq % 3 == 0;
        EXPECT_EQ(cells[3], lost ? "1" : "0");
        if (lost)
            EXPECT_EQ(cells[2], "");
        else
            EXPECT_NEAR(cells[2].toDouble(), r.recvtime[seq], 1e-9);
    }

    ASSERT_EQ(window->exportJson(path("run.json")), "");
    QFile file(path("run.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const json doc = json::parse(file.readAll().toStdString());
    EXPECT_EQ(doc["program"], "rebound");
    EXPECT_EQ(doc["parameters"]["count"], kProbes);
    ASSERT_EQ(doc["probes"].size(), size_t(kProbes));
    for (int seq = 0; seq < kProbes; ++seq) {
        SCOPED_TRACE(seq);
        const json& probe = doc["probes"][seq];
        EXPECT_EQ(probe["seq"], seq);
        EXPECT_EQ(probe["round_trip"].is_null(), seq % 3 == 0);
        if (seq % 3 != 0) {
            EXPECT_NEAR(probe["round_trip"].get<double>(), r.recvtime[seq], 1e-9);
        }
        EXPECT_NEAR(probe["send_duration"].get<double>(), r.sendtime[seq], 1e-9);
    }
    EXPECT_EQ(doc["summary"]["probes_sent"], kProbes);
    EXPECT_EQ(doc["summary"]["echoes_unique"], kProbes - 7);

    ASSERT_EQ(window->exportPng(path("chart.png")), "");
    const QImage png(path("chart.png"));
    EXPECT_EQ(png.size(), window->findChild<QLabel*>("qDrawChart")->size());
    int red = 0;
    for (int y = 0; y < png.height(); ++y)
        for (int x = 0; x < png.width(); ++x)
            red += png.pixelColor(x, y) == QColor(220, 0, 0);
    EXPECT_GE(red, 7) << "a mark for every lost probe";
}

// A target that is not a regular file is refused and left as it is.
TEST_F(Exports, ExportNeverClobbersADirectory) {
    ASSERT_TRUE(QDir().mkdir(path("taken")));
    EXPECT_NE(window->exportPng(path("taken")), "");
    EXPECT_TRUE(QFileInfo(path("taken")).isDir());
    EXPECT_NE(window->exportJson(path("run.json")), "") << "no run has ended yet";
}

} // namespace
