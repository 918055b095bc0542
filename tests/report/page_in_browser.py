#!/usr/bin/env python3
"""The flash-check page as headless Chromium renders it: rows per recovery group, the chart's
bars, sorting and filtering by clicking, and device text holding <script> shown as text.

A harness page loads each report in a same-folder iframe, clicks through it and writes what it
saw into its own DOM, which --dump-dom prints. The report's own script knows nothing of it."""
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HARNESS = r"""<!DOCTYPE html><html><body><pre id="result"></pre>
<iframe id="demo" src="demo.html"></iframe><iframe id="hostile" src="hostile.html"></iframe>
<script>
function texts(doc, column) {
  return Array.prototype.filter.call(doc.querySelectorAll('#susceptible-table tbody tr'),
      function (r) { return !r.hidden; }).map(function (r) { return r.cells[column].textContent; });
}
function choose(doc, id, value) {
  var select = doc.getElementById(id);
  select.value = value;
  select.dispatchEvent(new Event('change'));
}
function inspect(frame) {
  var doc = frame.contentDocument, out = {groups: {}, bars: {}};
  doc.querySelectorAll('#susceptible-table tbody tr').forEach(function (r) {
    var g = r.getAttribute('data-group');
    out.groups[g] = (out.groups[g] || 0) + 1;
  });
  doc.querySelectorAll('rect.bar').forEach(function (b) {
    out.bars[b.getAttribute('data-outcome')] =
        {count: +b.getAttribute('data-count'), width: b.getBBox().width};
  });
  out.notChecked = doc.querySelectorAll('#not-checked-table tbody tr').length;
  out.healthy = doc.querySelectorAll('#healthy-table tbody tr').length;
  out.evidence = doc.querySelectorAll('details[id^="ap-"]').length;
  out.names = texts(doc, 0);
  var buttons = doc.querySelectorAll('#susceptible-table thead button');
  if (buttons.length) {
    buttons[0].click(); out.nameAscending = texts(doc, 0);
    buttons[0].click(); out.nameDescending = texts(doc, 0);
    buttons[1].click(); out.addressAscending = texts(doc, 1);
    choose(doc, 'filter-group', 'Recover with devshell');
    out.devshellOnly = texts(doc, 5);
    out.shown = doc.getElementById('shown').textContent;
    choose(doc, 'filter-group', '');
    choose(doc, 'filter-controller', '10.0.0.2');
    out.otherController = texts(doc, 0);
    choose(doc, 'filter-controller', '');
    out.allAgain = texts(doc, 0).length;
  }
  out.pre = Array.prototype.map.call(doc.querySelectorAll('pre'), function (p) { return p.textContent; });
  out.scripts = doc.querySelectorAll('script').length;
  out.injected = frame.contentWindow.injected === 1;
  return out;
}
var pending = 2, result = {};
['demo', 'hostile'].forEach(function (id) {
  var frame = document.getElementById(id);
  frame.addEventListener('load', function () {
    try { result[id] = inspect(frame); } catch (e) { result[id] = {error: String(e)}; }
    if (--pending === 0) document.getElementById('result').textContent = JSON.stringify(result);
  });
});
</script></body></html>
"""

HOSTILE_NAME = "<script>window.injected=1</script>AP"


def chromium():
    for name in ("chromium", "chromium-browser"):
        if shutil.which(name):
            return shutil.which(name)
    return None


def main():
    quorvane, tessivar = sys.argv[1], sys.argv[2]
    browser = chromium()
    if not browser:
        print("skipped: chromium is not installed (scripts/install-deps.sh adds it)")
        return 77
    with tempfile.TemporaryDirectory() as scratch:
        run = subprocess.run([quorvane, "flash-check", "--simulate", "--json", "--html",
                              os.path.join(scratch, "demo.html")],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=240, check=False)
        assert run.returncode == 0, run.stderr.decode(errors="replace")
        result = json.loads(run.stdout)

        # A run folder of two controllers, analysed offline: one AP's host name and flash
        # listing carry markup, the other is the demo's partition-swap AP.
        swap_log = next(ap["log"] for ap in result["aps"] if ap["name"] == "AP-HQ-FLOOR3-SWAP")
        with open(swap_log, encoding="utf-8") as f:
            text = f.read()
        hostile = text.replace("hostname='AP-HQ-FLOOR3-SWAP'", "hostname='%s'" % HOSTILE_NAME)
        hostile = hostile.replace("cnssdaemon.log", "cnssdaemon.log <script>window.injected=1</script>")
        run_folder = os.path.join(scratch, "RUN1")
        for controller, log in (("WLC_10_0_0_1", hostile), ("WLC_10_0_0_2", text)):
            os.makedirs(os.path.join(run_folder, controller))
            with open(os.path.join(run_folder, controller, "AP_x.log"), "w", encoding="utf-8") as f:
                f.write(log)
        subprocess.run([tessivar, "--html", os.path.join(scratch, "hostile.html"), run_folder],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)

        harness = os.path.join(scratch, "harness.html")
        with open(harness, "w", encoding="utf-8") as f:
            f.write(HARNESS)
        dom = subprocess.run([browser, "--headless", "--disable-gpu", "--no-sandbox",
                              "--allow-file-access-from-files", "--virtual-time-budget=20000",
                              "--user-data-dir=" + os.path.join(scratch, "profile"),
                              "--dump-dom", "file://" + harness],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120,
                             check=False).stdout.decode()
    found = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
    assert found and found.group(1), "the harness wrote no result:\n" + dom[:2000]
    seen = json.loads(html.unescape(found.group(1)))
    demo, hostile = seen["demo"], seen["hostile"]
    assert "error" not in demo and "error" not in hostile, seen

    expected_groups = {}
    for ap in result["aps"]:
        label = ap["recovery_group"]
        if label not in ("", "not checked", "not decided"):
            expected_groups[label] = expected_groups.get(label, 0) + 1
    assert demo["groups"] == expected_groups, (demo["groups"], expected_groups)
    assert demo["evidence"] == len(result["susceptible"])
    assert demo["notChecked"] == result["counts"]["failed"] == 3, demo["notChecked"]
    assert demo["healthy"] == result["counts"]["healthy"]
    bars = demo["bars"]
    for group, count in expected_groups.items():
        assert bars[group]["count"] == count, (group, bars)
    assert bars["healthy"]["count"] == result["counts"]["healthy"], bars
    assert bars["not checked"]["count"] == 3, bars
    # Bar lengths follow the counts.
    for a in bars.values():
        for b in bars.values():
            if a["count"] > b["count"]:
                assert a["width"] > b["width"], bars
    assert bars["not decided"]["width"] == 0, bars

    assert sorted(demo["nameAscending"]) == sorted(demo["names"])
    assert demo["nameDescending"] == list(reversed(demo["nameAscending"])), demo
    octets = [tuple(int(x) for x in a.split(".")) for a in demo["addressAscending"]]
    assert octets == sorted(octets), demo["addressAscending"]
    assert demo["devshellOnly"] == ["Recover with devshell"] * expected_groups["Recover with devshell"]
    assert demo["shown"].startswith("%d of " % expected_groups["Recover with devshell"]), demo["shown"]
    assert demo["allAgain"] == len(result["susceptible"])

    assert sorted(hostile["names"]) == sorted([HOSTILE_NAME, "AP-HQ-FLOOR3-SWAP"]), hostile["names"]
    assert hostile["otherController"] == ["AP-HQ-FLOOR3-SWAP"], hostile
    assert any("cnssdaemon.log <script>window.injected=1</script>" in p for p in hostile["pre"]), hostile
    assert not hostile["injected"] and hostile["scripts"] == 1, hostile
    assert "not checked" not in hostile["bars"], hostile["bars"]
    print("page checked in", browser)
    return 0


if __name__ == "__main__":
    sys.exit(main())
