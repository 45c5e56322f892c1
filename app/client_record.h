// The result record rebuilt from reboundcli's lines as they arrive, the way rebound_connect
// fills it in-process: send times by iteration, round-trip times by the sequence number the
// echo carried (the first echo's), the counters (echoes drained after the last probe count
// too), and which probes went out, came back and came back late. The chart draws it while an
// external run is still going.
#pragma once

#include "app/run_results.h"
#include "engine/run_observer.h"

#include <QByteArrayView>

// Applies one complete line (without its line end) to `results`, counters included; true when
// the line changed them. Lines of any other kind are ignored. Each send and echo is also handed
// to `events` as the event the client reported for it, so observers of a run (the summary, the
// JSON document) follow an external run as they follow one in-process; a drained echo, whose
// line gives no time, comes with a round trip that is NaN.
bool addClientLine(QByteArrayView line, RunResults* results, rebound_observer* events = nullptr);

// Seconds since an arbitrary day of the time text that starts a timed line
// ("2026/12/08 20:08:46.500000"); NaN when the line starts with none.
double lineStamp(QByteArrayView line);
