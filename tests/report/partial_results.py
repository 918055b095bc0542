#!/usr/bin/env python3
"""flash-check never gives an all-clear it cannot back: logs without the checked outputs are
named as not decided, and after Ctrl-C the result covers only the APs that finished."""
import json
import os
import signal
import subprocess
import sys
import tempfile

quorvane = sys.argv[1]

# Polled with a command the checks cannot use: every AP is polled, none decided.
with tempfile.TemporaryDirectory() as scratch:
    cmds = os.path.join(scratch, "clock.txt")
    with open(cmds, "w", encoding="utf-8") as f:
        f.write("show clock\n")
    run = subprocess.run([quorvane, "flash-check", "--simulate", "--cmds", cmds, "--no-report"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=240, check=False)
    out = run.stdout.decode()
    assert run.returncode == 0, run.stderr.decode(errors="replace")
    assert "is exposed" not in out and "Susceptible" not in out, out
    assert "NOT DECIDED: the logs of these APs lack the outputs the checks need" in out, out
    assert "10 checked: 0 susceptible, 0 healthy, 10 not decided" in out, out
    assert "Page:" not in out and "CSV:" not in out, out

# Stopped as soon as the first AP finishes: the unreachable AP spends seconds in connection
# retries, so it is still running, and is reported stopped rather than not polled.
proc = subprocess.Popen([quorvane, "flash-check", "--simulate"], stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL)
first = proc.stdout.readline().decode()
assert first.startswith("["), first
proc.send_signal(signal.SIGINT)
rest, _ = proc.communicate(timeout=120)
out = first + rest.decode()
assert proc.returncode == 130, (proc.returncode, out)
finished = sum(1 for line in out.splitlines() if line.startswith("[") and ": " in line)
assert "Stopped by Ctrl-C: this result covers only the" in out, out
offline = next(line for line in out.splitlines() if line.startswith("AP-WH-OFFLINE "))
assert offline.split()[-1] == "stopped", offline
assert "Page:" in out and "CSV:" in out, out
assert finished >= 1, out
print("partial results named as such")

# The same stop with --json: the object says the run was interrupted.
proc = subprocess.Popen([quorvane, "flash-check", "--simulate", "--json"], stdout=subprocess.PIPE,
                        stderr=subprocess.PIPE)
for line in proc.stderr:
    if line.rstrip().endswith(b"| show flash"):  # an AP is on its last command
        break
proc.send_signal(signal.SIGINT)
out, _ = proc.communicate(timeout=120)
result = json.loads(out)
assert proc.returncode == 130 and result["interrupted"] and result["polled"]["interrupted"], result
statuses = {ap["name"]: ap["status"] for ap in result["aps"]}
assert statuses["AP-WH-OFFLINE"] == "stopped", statuses
assert result["counts"]["checked"] == sum(1 for s in statuses.values() if s == "Success"), result
print("interrupted runs say so in JSON")
