#!/usr/bin/env python3
"""A 1000-AP poll through the Python module against the same poll through the quorvane
program, on one simulated fleet running as its own process (every device answer delayed
50 ms, the five flash commands per AP). Each run is a fresh process that fetches the
inventory from the two controllers and polls every AP; the Python run connects a log, a
progress and an AP update callback, as a GUI host would. Runs alternate; the medians and
the binding's overhead are printed.

    python3 bench/python/poll_bench.py [--aps 1000] [--runs 7] [--build build/default]
"""
import argparse
import json
import os
import pathlib
import signal
import statistics
import subprocess
import sys
import tempfile
import time

COMMANDS = ["show version", "show boot", "show filesystems", "show image integrity", "show flash"]
DELAY_MS = 50


def python_run(port: int) -> None:
    """The measured Python host: the engine library was loaded with the bench's base dir."""
    import quorvane

    lines, updates = [], []
    q = quorvane.Quorvane(log_cb=lines.append, progress_cb=lambda pct: None,
                          ap_update_cb=lambda *r: updates.append(r), ssh_port=port)
    rows = q.fetch_full_ap_list()
    start = time.monotonic()
    success, failed = q.run_ap_poller(rows, "AP", COMMANDS)
    print(json.dumps({"success": success, "failed": failed, "seconds": time.monotonic() - start}))


def start_fleet(build: pathlib.Path, aps: int, folder: pathlib.Path):
    fleet_file = folder / "fleet.json"
    subprocess.run([str(build / "apps/fleetsim/fleetsim"), "--default-fleet", str(aps),
                    "--write-fleet", str(fleet_file)], check=True)
    fleet = json.loads(fleet_file.read_text())
    for device in fleet["devices"]:
        device["faults"]["delay_ms"] = DELAY_MS
    fleet_file.write_text(json.dumps(fleet))
    process = subprocess.Popen(
        [str(build / "apps/fleetsim/fleetsim"), "--fleet", str(fleet_file), "--port", "0",
         "--state-dir", str(folder / "sim"), "--max-seconds", "1800"],
        stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    return process, int(line.rsplit("port ", 1)[1]), fleet


def write_config(base: pathlib.Path, fleet) -> None:
    controllers = [d for d in fleet["devices"] if d["kind"] == "controller"]
    ap = next(d for d in fleet["devices"] if d["kind"] == "ap")
    text = ""
    for i, wlc in enumerate(controllers):
        text += (f"[{'WLC' if i == 0 else f'WLC{i + 1}'}]\nwlc_ip = {wlc['address']}\n"
                 f"wlc_user = {wlc['username']}\nwlc_pasw = {wlc['password']}\n\n")
    text += (f"[AP]\nap_user = {ap['username']}\nap_pasw = {ap['password']}\n"
             f"ap_enable = {ap['enable_secret']}\n\n[FTP]\nscp_port = 22\n\n")
    (base / "confd").mkdir(parents=True, exist_ok=True)
    (base / "confd" / "config.ini").write_text(text)


def timed(args, env):
    start = time.monotonic()
    out = subprocess.run(args, env=env, capture_output=True, text=True, timeout=1800)
    wall = time.monotonic() - start
    if out.returncode not in (0, 1):
        sys.exit(f"{args[0]} failed ({out.returncode}): {out.stderr[-2000:]}")
    summary = json.loads(out.stdout.strip().splitlines()[-1])
    summary = summary.get("summary", summary)
    return wall, summary


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--aps", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--python-run", type=int, metavar="PORT", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.python_run:
        return python_run(args.python_run)

    build = pathlib.Path(args.build).resolve()
    python = (build / "python" / "interpreter").read_text().strip()
    with tempfile.TemporaryDirectory(prefix="quorvane-pybench-") as scratch:
        folder = pathlib.Path(scratch)
        fleet_process, port, fleet = start_fleet(build, args.aps, folder)
        try:
            write_config(folder / "base", fleet)
            env = dict(os.environ, QUORVANE_BASE_DIR=str(folder / "base"), TMPDIR=scratch,
                       QUORVANE_DIAGNOSTICS="stderr", PYTHONPATH=str(build / "python"))
            program = [str(build / "apps/quorvane-cli/quorvane"), "aps", "poll", "--json",
                       "--ssh-port", str(port), *COMMANDS]
            binding = [python, __file__, "--python-run", str(port)]
            results = {"program": [], "python": []}
            for _ in range(args.runs):
                for name, command in (("program", program), ("python", binding)):
                    wall, summary = timed(command, env)
                    results[name].append((wall, float(summary["seconds"])))
                    print(f"{name:8} wall {wall:6.2f} s  poll {float(summary['seconds']):6.2f} s  "
                          f"success {summary['success']} failed {summary['failed']}", flush=True)
        finally:
            fleet_process.send_signal(signal.SIGTERM)
            fleet_process.wait(timeout=60)
    medians = {name: [statistics.median(r[i] for r in runs) for i in (0, 1)]
               for name, runs in results.items()}
    for name, (wall, poll) in medians.items():
        print(f"median {name:8} wall {wall:6.2f} s  poll {poll:6.2f} s")
    overhead = medians["python"][0] / medians["program"][0] - 1
    # Runs alternate, so the ratio within each pair cancels most of a shared machine's drift.
    paired = statistics.median(p[0] / c[0] for c, p in zip(results["program"], results["python"]))
    print(f"binding overhead (process wall time): medians {overhead * 100:+.1f} %, "
          f"median of paired runs {(paired - 1) * 100:+.1f} %")


if __name__ == "__main__":
    main()
