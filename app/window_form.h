// The main window's fixed form: the chart frame, six labelled entry fields with their defaults
// and four command buttons, at fixed positions without a layout manager, each field and button
// with a tooltip (what it does, units, default); beside the chart the statistics panel with the
// view toggle and the export buttons, under the buttons the status line. The captions of the
// buttons are their object names.
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
    QLabel* tlStats = nullptr;  // the run's figures, beside the chart
    QLabel* tlStatus = nullptr; // what the run is doing or how it ended
    QPushButton* qpbHistogram = nullptr; // checkable: the chart frame shows the histogram
    QPushButton *qpbSavePng = nullptr, *qpbSaveCsv = nullptr, *qpbSaveJson = nullptr;
};

// Creates the widgets as children of `window`, in this order: chart frame, the six labels, the
// six entry fields, the buttons; a widget created later lies above an earlier one, so each entry
// field covers the end of the label to its left. The buttons are not connected.
WindowForm createWindowForm(QWidget* window);

// Initial window size: at least 640 x 520 and room for every widget of the form; each dimension
// of a larger minimum size hint wins on its own.
QSize initialWindowSize(QSize minimumHint);

// The size the form's widgets need: their right and bottom edges plus the margin they keep.
QSize formExtent();
