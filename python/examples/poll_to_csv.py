#!/usr/bin/env python3
"""Poll a command list on every AP of the controllers and write one CSV row per AP.

    python3 python/examples/poll_to_csv.py --simulate -o aps.csv "show version" "show clock"

Each AP's command output goes to its log file in the run folder; the CSV says where, with
the AP's status and, for a failed poll, the reason.
"""
import argparse, contextlib, csv, os, sys

os.environ.setdefault("QUORVANE_DIAGNOSTICS", "stderr")
import quorvane  # noqa: E402
from quorvane.testing import SimulatedFleet  # noqa: E402

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("commands", nargs="+", metavar="COMMAND")
parser.add_argument("-o", "--output", help="CSV file (default: standard output)")
parser.add_argument("--device", default="AP", help="log file prefix (default AP)")
parser.add_argument("--simulate", action="store_true", help="run against the simulated demo fleet")
args = parser.parse_args()

with SimulatedFleet() if args.simulate else contextlib.nullcontext() as fleet:
    results = {}
    q = quorvane.Quorvane(log_cb=lambda line: print(line, file=sys.stderr),
                          on_poll_result=lambda r: results.update({r.idx: r}),
                          ssh_port=fleet.port if fleet else 22)
    rows = q.fetch_full_ap_list()
    q.run_ap_poller(rows, args.device, args.commands)

with open(args.output, "w", newline="") if args.output else contextlib.nullcontext(sys.stdout) as out:
    writer = csv.writer(out)
    writer.writerow(["name", "ip", "model", "controller", "status", "reason", "log"])
    for idx, row in enumerate(rows):
        result = results.get(idx)
        folder = os.path.join(q.data_dir, "WLC_" + row.wlc_ip.replace(".", "_")) if row.wlc_ip else q.data_dir
        log = os.path.join(folder, f"{args.device}_{quorvane._safe_filename(row.name)}.log")
        writer.writerow([row.name, row.ip, row.model, row.wlc_ip,
                         result.status if result else "Not polled (the run was stopped)",
                         result.reason if result else "", log if os.path.exists(log) else ""])
