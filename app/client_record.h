// The result record rebuilt from reboundcli's lines as they arrive, the way rebound_connect
// fills it in-process: send times by iteration, round-trip times by the sequence number the
// echo carried, and the counters (echoes drained after the last probe count too). The chart
// draws it while an external run is still going.
#pragma once

#include "app/run_results.h"

#include <QByteArrayView>

// Applies one complete line (without its line end) to `results`, counters included; true when
// the line changed them. Lines of any other kind are ignored.
bool addClientLine(QByteArrayView line, RunResults* results);
