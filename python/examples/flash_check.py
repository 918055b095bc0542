#!/usr/bin/env python3
"""The AP flash check: fetch the QCA-based APs, poll them with the five flash commands,
analyse each folder of AP logs and print which APs need which recovery.

    python3 python/examples/flash_check.py              # the controllers in config.ini
    python3 python/examples/flash_check.py --simulate   # the simulated demo fleet
"""
import argparse, contextlib, os, sys

# Library diagnostics go with the log lines to standard error, the table to standard output.
os.environ.setdefault("QUORVANE_DIAGNOSTICS", "stderr")
os.environ.setdefault("TESSIVAR_DIAGNOSTICS", "stderr")
import quorvane, tessivar  # noqa: E402
from quorvane.testing import SimulatedFleet  # noqa: E402

COMMANDS = ["show version", "show boot", "show filesystems", "show image integrity", "show flash"]

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--simulate", action="store_true", help="run against the simulated demo fleet")
args = parser.parse_args()

with SimulatedFleet() if args.simulate else contextlib.nullcontext() as fleet:
    statuses = {}
    q = quorvane.Quorvane(log_cb=lambda line: print(line, file=sys.stderr),
                          ap_update_cb=lambda idx, *result: statuses.update({idx: result}),
                          ssh_port=fleet.port if fleet else 22)
    q.workflow = "AP Flash Checker"  # the fetch keeps only QCA-based models
    rows = q.fetch_full_ap_list()
    q.write_filtered_ap_list(rows)
    try:
        success, failed = q.run_ap_poller(rows, "AP", COMMANDS)
    except KeyboardInterrupt:  # the engine has been shut down
        print(f"stopped: {len(statuses)} of {len(rows)} APs done, nothing analysed", file=sys.stderr)
        sys.exit(130)
    folders = dict.fromkeys(os.path.join(q.data_dir, "WLC_" + r.wlc_ip.replace(".", "_"))
                            if r.wlc_ip else q.data_dir for r in rows)
    found = [ap for f in folders if os.path.isdir(f) for ap in tessivar.analyze_logs(f)[0]]
    found.sort(key=lambda ap: (tessivar.RECOVERIES.index(ap["recovery"]), ap["ap_name"]))

table = [("AP NAME", "MODEL", "ADDRESS", "RECOVERY")] + [
    (ap["ap_name"], ap["ap_model"], ap["ap_ip"], ap["recovery"]) for ap in found]
widths = [max(len(row[c]) for row in table) for c in range(3)]
for row in table:
    print("  ".join(cell.ljust(w) for cell, w in zip(row, widths)), row[3])
for idx, (ip, model, status, name, wlc_ip) in sorted(statuses.items()):
    if not status.lower().startswith("success"):
        print(f"NOT CHECKED: {name} ({ip}): {status}")
print(f"{success + failed} APs polled, {failed} failed, {len(found)} susceptible")
