"""The flash-check example names the same susceptible APs as the quorvane program."""

import json
import os
import pathlib
import re
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
CLI = pathlib.Path(os.environ.get("QUORVANE_BUILD_DIR", ROOT / "build" / "default")) / "apps" / "quorvane-cli" / "quorvane"


def run(args):
    return subprocess.run(args, capture_output=True, text=True, timeout=600, check=True).stdout


@pytest.mark.skipif(not CLI.exists(), reason="the quorvane program is not built")
def test_flash_check_example_matches_the_program():
    program = json.loads(run([str(CLI), "flash-check", "--simulate", "--json"]))
    expected = [(ap["ap_name"], ap["ap_ip"], ap["recovery"]) for ap in program["susceptible"]]

    output = run([sys.executable, str(ROOT / "python" / "examples" / "flash_check.py"), "--simulate"])
    found = re.findall(r"^(?!NOT CHECKED)(\S+) .* (127\.\d+\.\d+\.\d+) +(\S.*)$", output, re.M)
    assert found == expected
    assert output.splitlines()[-1].endswith(f"{len(expected)} susceptible")
