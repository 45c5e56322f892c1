#!/usr/bin/python3
"""Reads a metrics file with both parsers of python3-prometheus-client: the strict OpenMetrics
parser and the Prometheus text-format parser (what node_exporter's textfile collector reads).
Prints the OpenMetrics reading as JSON: {family: {"type": t, "unit": u, "samples":
[[name, labels, value], ...]}}. Any parse error of either parser exits 1 with the error."""
import json
import math
import sys

from prometheus_client.openmetrics.parser import text_string_to_metric_families as openmetrics
from prometheus_client.parser import text_string_to_metric_families as prometheus_text

text = open(sys.argv[1], encoding="utf-8").read()
try:
    families = list(openmetrics(text))
    list(prometheus_text(text))
except Exception as e:  # the parsers raise ValueError and others
    print(f"parse error: {e}", file=sys.stderr)
    sys.exit(1)


def value(v):
    return None if math.isnan(v) else v


out = {
    f.name: {
        "type": f.type,
        "unit": f.unit,
        "samples": [[s.name, s.labels, value(s.value)] for s in f.samples],
    }
    for f in families
}
print(json.dumps(out))
