// The main window's fixed form: the chart frame, six labelled entry fields with their defaults
// and four command buttons, at fixed positions without a layout manager, each field and button
// with a tooltip (what it does, units, default). The captions of the buttons are their object
// names.
#pragma once

#include <QSize>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

struct WindowForm {
    QLabel* qDrawChart = nullptr;
    QLabel *tlIpHost = nullptr, *tlIpPort = nullptr, *tlTimeout = nullptr;
    QLabel *tlCount = nullptr, *tlSendSize = nullptr, *tlRecvSize = nullptr;
    QLineEdit *leIpHost = nullptr, *leIpPort = nullptr, *leTimeout = nullptr;
    QLineEdit *leCount = nullptr, *leSendSize = nullptr, *leRecvSize = nullptr;
    QPushButton *qpbNetConn = nullptr, *qpbNetClose = nullptr, *qpbQuit = nullptr;
    QPushButton* qpbNetConnCli = nullptr;
};

// Creates the widgets as children of `window`, in this order: chart frame, the six labels, the
// six entry fields, the buttons; a widget created later lies above an earlier one, so each entry
// field covers the end of the label to its left. The buttons are not connected.
WindowForm createWindowForm(QWidget* window);

// Initial window size: at least 640 x 520; each dimension of a larger minimum size hint wins
// on its own.
QSize initialWindowSize(QSize minimumHint);
