#!/usr/bin/env python3
"""How long headless Chromium takes to open the flash-check page of a large fleet.

Writes N AP logs (the simulated demo fleet's logs, repeated under new names and addresses)
into a run folder of four controller folders, makes the page with `tessivar --html`, then
opens it in Chromium several times through a harness that reads the page's own navigation
timing (start to the end of its load event, its script included).

    python3 bench/report/page_open_bench.py build/default/apps/tessivar-cli/tessivar 5000
"""
import glob
import html
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HARNESS = """<!DOCTYPE html><html><body><pre id="result"></pre>
<iframe id="page" src="page.html" width="1200" height="900"></iframe>
<script>
var frame = document.getElementById('page');
frame.addEventListener('load', function () {
  var w = frame.contentWindow, t = w.performance.getEntriesByType('navigation')[0];
  document.getElementById('result').textContent = JSON.stringify(
      {load: t.loadEventEnd, rows: w.document.querySelectorAll('tr').length});
});
</script></body></html>"""


def main():
    tessivar, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 5000
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    if not browser:
        sys.exit("chromium is not installed (scripts/install-deps.sh adds it)")
    with tempfile.TemporaryDirectory() as scratch:
        sim = subprocess.run([tessivar, "--simulate", "--json"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, check=True, env=dict(os.environ, TMPDIR=scratch))
        sim_dir = os.path.dirname(json.loads(sim.stdout)["report_path"])
        templates = []
        for path in sorted(glob.glob(os.path.join(sim_dir, "AP_*.log"))):
            with open(path, encoding="utf-8") as f:
                text = f.read()
            name = re.search(r"hostname='([^']+)'", text).group(1)
            address = re.search(r"Ip='([^']+)'", text).group(1)
            templates.append((text, name, address))
        run = os.path.join(scratch, "RUN1")
        for i in range(count):
            text, name, address = templates[i % len(templates)]
            folder = os.path.join(run, "WLC_10_0_0_%d" % (i % 4 + 1))
            os.makedirs(folder, exist_ok=True)
            new_name = "%s-%05d" % (name, i)
            new_address = "10.%d.%d.%d" % (i // 65536 + 1, i // 256 % 256, i % 256)
            with open(os.path.join(folder, "AP_%s.log" % new_name), "w", encoding="utf-8") as f:
                f.write(text.replace(name, new_name).replace("Ip='%s'" % address, "Ip='%s'" % new_address))
        page = os.path.join(scratch, "page.html")
        subprocess.run([tessivar, "--html", page, run], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        harness = os.path.join(scratch, "harness.html")
        with open(harness, "w", encoding="utf-8") as f:
            f.write(HARNESS)
        loads, walls = [], []
        for attempt in range(5):
            started = time.monotonic()
            dom = subprocess.run([browser, "--headless", "--disable-gpu", "--no-sandbox",
                                  "--allow-file-access-from-files",
                                  "--user-data-dir=" + os.path.join(scratch, "profile%d" % attempt),
                                  "--dump-dom", "file://" + harness],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True).stdout.decode()
            walls.append(time.monotonic() - started)
            result = json.loads(html.unescape(re.search(r'<pre id="result">(.*?)</pre>', dom, re.S).group(1)))
            loads.append(result["load"])
        print("%d APs, page %.1f MB, %d table rows" % (count, os.path.getsize(page) / 1e6, result["rows"]))
        print("page load (navigation start to load end, script included): median %.0f ms, max %.0f ms"
              % (statistics.median(loads), max(loads)))
        print("whole chromium run (start, open, dump, exit): median %.2f s" % statistics.median(walls))


if __name__ == "__main__":
    main()
