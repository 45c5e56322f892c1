#include "app/rebound.h"

#include "app/guilog.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>

#include <algorithm>

namespace {

const QColor kWindowColour{164, 164, 164};
const QColor kChartBackground{255, 255, 255};

} // namespace

QSize initialWindowSize(QSize minimumHint) {
    return {std::max(640, minimumHint.width()), std::max(520, minimumHint.height())};
}

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
    createWidgets();

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

// Fixed geometry, no layout; a widget created later lies above an earlier one, so each entry
// field covers the end of the label to its left.
void Rebound::createWidgets() {
    qDrawChart = new QLabel(this);
    qDrawChart->setObjectName(QStringLiteral("qDrawChart"));
    qDrawChart->setGeometry(10, 10, 600, 400);
    clearChart();
    qDrawChart->installEventFilter(this);

    struct Field {
        QLabel* Rebound::*label;
        QLineEdit* Rebound::*edit;
        const char* labelName;
        const char* labelText;
        const char* editName;
        const char* defaultText;
        int x, y;
    };
    static const Field kFields[] = {
        {&Rebound::tlIpHost, &Rebound::leIpHost, "tlIpHost", "IPHost", "leIpHost", "127.0.0.1", 20,
         420},
        {&Rebound::tlIpPort, &Rebound::leIpPort, "tlIpPort", "IPPort", "leIpPort", "33333", 190,
         420},
        {&Rebound::tlTimeout, &Rebound::leTimeout, "tlTimeout", "Timeout", "leTimeout", "0.1", 360,
         420},
        {&Rebound::tlCount, &Rebound::leCount, "tlCount", "Count", "leCount", "100", 20, 450},
        {&Rebound::tlSendSize, &Rebound::leSendSize, "tlSendSize", "SendSize", "leSendSize", "8192",
         190, 450},
        {&Rebound::tlRecvSize, &Rebound::leRecvSize, "tlRecvSize", "RecvSize", "leRecvSize", "8192",
         360, 450},
    };
    // The entry field starts 60 pixels right of its label.
    for (const Field& f : kFields) {
        QLabel* label = new QLabel(this);
        label->setObjectName(QLatin1String(f.labelName));
        label->setGeometry(f.x, f.y, 100, 20);
        label->setText(QLatin1String(f.labelText));
        this->*f.label = label;
    }
    for (const Field& f : kFields) {
        QLineEdit* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(f.editName));
        edit->setGeometry(f.x + 60, f.y, 100, 20);
        edit->setText(QLatin1String(f.defaultText));
        this->*f.edit = edit;
    }

    struct Button {
        QPushButton* Rebound::*member;
        const char* name; // also the caption
        int x;
        void (Rebound::*command)();
    };
    static const Button kButtons[] = {
        {&Rebound::qpbNetConn, "qpbNetConn", 80, &Rebound::cmdNetConn_clicked},
        {&Rebound::qpbNetClose, "qpbNetClose", 250, &Rebound::cmdNetClose_clicked},
        {&Rebound::qpbQuit, "qpbQuit", 420, &Rebound::cmdQuit_clicked},
        {&Rebound::qpbNetConnCli, "qpbNetConnCli", 530, &Rebound::cmdNetConnCli_clicked},
    };
    for (const Button& b : kButtons) {
        QPushButton* button = new QPushButton(this);
        button->setObjectName(QLatin1String(b.name));
        button->setGeometry(b.x, 480, 100, 20);
        button->setText(QLatin1String(b.name));
        connect(button, &QPushButton::clicked, this, b.command);
        this->*b.member = button;
    }
}

Rebound::~Rebound() {
    guilog("Rebound::~Rebound()\n");
    qDrawChart->removeEventFilter(this);
    if (qproc) {
        // Cut first: a process killed while it is deleted still signals its end.
        qproc->disconnect(this);
        delete qproc;
        qproc = nullptr;
    }
    if (qprocCursor) QApplication::restoreOverrideCursor();
}

void Rebound::languageChange() {
    guilog("Rebound::languageChange():\n");
}

bool Rebound::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qDrawChart && event->type() == QEvent::Paint) {
        QPainter painter(qDrawChart);
        drawChart(painter, qDrawChart->size(), *reboundinfo, counters());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// The frame fills itself with white before every paint, so a new chart never draws over
// the old one.
void Rebound::clearChart() {
    QPalette palette = qDrawChart->palette();
    palette.setColor(QPalette::Window, kChartBackground);
    qDrawChart->setPalette(palette);
    qDrawChart->setAutoFillBackground(true);
}

// The chart frame fills its own background, so a repaint of the window alone leaves the frame
// as it was: ask for both.
void Rebound::scheduleRepaint() {
    update();
    qDrawChart->update();
}
