#!/usr/bin/env python3
"""flash-check --simulate: the CSV, read with Python's csv module, holds one row per AP
selected, matching the --json output row for row."""
import csv
import json
import os
import subprocess
import sys
import tempfile

quorvane = sys.argv[1]
with tempfile.TemporaryDirectory() as scratch:
    csv_path = os.path.join(scratch, "fleet.csv")
    run = subprocess.run([quorvane, "flash-check", "--simulate", "--json", "--csv", csv_path],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=240, check=False)
    assert run.returncode == 0, run.stderr.decode(errors="replace")
    result = json.loads(run.stdout)
    assert result["csv"] == csv_path, result["csv"]
    assert os.path.exists(result["html"]), result["html"]

    with open(csv_path, newline="", encoding="utf-8-sig") as f:
        rows = list(csv.DictReader(f))
    assert list(rows[0].keys()) == ["name", "address", "model", "controller", "poll status",
                                    "reason", "recovery group", "failures"], rows[0].keys()
    assert len(rows) == len(result["aps"]) == result["counts"]["selected"]
    for row, ap in zip(rows, result["aps"]):
        expected = {
            "name": ap["name"], "address": ap["ip"], "model": ap["model"],
            "controller": ap["wlc_ip"], "poll status": ap["status"],
            "reason": ap["reason"] or "", "recovery group": ap["recovery_group"],
            "failures": ap["failures"],
        }
        assert row == expected, (row, expected)

    groups = {}
    for row in rows:
        groups[row["recovery group"]] = groups.get(row["recovery group"], 0) + 1
    assert groups["not checked"] == 3, groups
    assert groups[""] == result["counts"]["healthy"], groups
    assert sum(n for g, n in groups.items() if g not in ("", "not checked", "not decided")) == \
        len(result["susceptible"]), groups
print("CSV rows match the JSON output")
