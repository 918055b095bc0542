"""What crosses the boundary: shared rows, optional values, errors."""

import os
import subprocess
import sys

import pytest

import quorvane
import tessivar


def test_rows_are_shared_with_the_engine(engine_factory):
    q = engine_factory()
    rows = q.fetch_full_ap_list()
    kept, _count = q.filter_by_site_tag(rows, "ST-HQ-CAMPUS")
    assert kept and all(any(k is r for r in rows) for k in kept)
    assert all(k.site_tag == "ST-HQ-CAMPUS" for k in kept), "the filter set the tag on the host's rows"
    row = kept[0]
    copy = quorvane.ApRow(row.ip, row.model, row.name, row.site_tag, row.wlc_ip)
    assert copy == row and copy is not row and repr(copy) == repr(row)
    copy.model = "other"
    assert copy != row
    with pytest.raises(TypeError):
        hash(row)


@pytest.mark.parametrize(
    "value, expected",
    [
        (lambda q: q.ini.cfg.get("WLC", "no_such_key"), None),
        (lambda q: q.SpecialCmdCheck("sleep_5"), (True, None, False, 5)),
        (lambda q: quorvane.WlcParse.parse_total_ap_cnt_from_tag_summary("nothing"), None),
        (lambda q: q.ini.get("NOSECTION", "key", "fallback"), "fallback"),
        (lambda q: quorvane.Quorvane(ap_read_timeout_cap=None)._shutdown_event, False),
    ],
)
def test_absent_optionals_are_none(engine_factory, value, expected):
    assert value(engine_factory()) == expected


def test_checks_give_none_for_facts_a_log_lacks(tmp_path):
    log = tmp_path / "AP_empty.log"
    log.write_text("<run timestamp='2026-01-01T00:00:00' device='AP' hostname='' Ip=''>\n")
    assert tessivar.ap_hostname_from_run_header(str(log)) is None
    assert tessivar.ap_model_from_log(str(log)) == (None, None)
    assert tessivar.part2_mem_available_mb(str(log)) == (None, None)
    assert tessivar.image_integrity_failed(str(log)) is None


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda d: quorvane.IniStore(str(d / "dup.ini")), quorvane.ConfigError),
        (lambda d: quorvane.IniStore(str(d / "ok.ini")).set("WLC", "a=b", "x"), quorvane.ConfigError),
        (lambda d: quorvane.ensure_dir(str(d / "file.txt" / "sub")), quorvane.FileError),
        (lambda d: quorvane.Quorvane(no_such_option=1), TypeError),
        (lambda d: quorvane._safe_filename(42), TypeError),
        (lambda d: tessivar.analyze_logs(str(d / "missing")), tessivar.FileError),
    ],
)
def test_errors_arrive_as_python_exceptions(fleet, tmp_path, call, error):
    (tmp_path / "dup.ini").write_text("[WLC]\na = 1\na = 2\n")
    (tmp_path / "file.txt").write_text("")
    with pytest.raises(error) as raised:
        call(tmp_path)
    assert str(raised.value)
    if isinstance(raised.value, quorvane.Error):
        assert isinstance(raised.value, quorvane.FileError) == isinstance(raised.value, OSError)


@pytest.mark.parametrize("mapping", [{"ap_user": "u", "ap_pasw": "p"}, [("ap_user", "u"), ("ap_pasw", "p")]])
def test_store_takes_dicts_and_pairs_in_order(tmp_path, fleet, mapping):
    store = quorvane.IniStore(str(tmp_path / "config.ini"))
    store.bulk_set("AP", mapping)
    store.save()
    again = quorvane.IniStore(str(tmp_path / "config.ini"))
    assert [k for k, _ in again.cfg.items("AP")][:2] == ["ap_user", "ap_pasw"]
    assert again.get("AP", "ap_pasw") == "p"
    assert again.cfg.get("AP", "ap_pasw").startswith(quorvane.ENC_PREFIX)
    assert "AP" in again.cfg and list(again.cfg) == again.cfg.sections()


def test_poll_results_and_sessions_reach_python(engine_factory):
    updates, results = [], []
    q = engine_factory(ap_update_cb=lambda *u: updates.append(u), on_poll_result=results.append)
    rows = q.fetch_full_ap_list()[:3]
    q.run_ap_poller(rows, "AP", [])
    assert sorted(updates) == sorted((r.idx, r.ip, r.model, r.status, r.name, r.wlc_ip) for r in results)
    assert all(isinstance(r.reason, str) for r in results)

    session = q._wlc_connect()
    try:
        assert "uptime is" in session.send_command("show version")
    finally:
        session.disconnect()


def test_import_leaves_the_engine_library_unloaded_until_used(tmp_path):
    script = (
        "import quorvane, quorvane.testing\n"
        "assert not quorvane.engine_library_loaded()\n"
        "quorvane.compute_max_workers(1)\n"
        "assert quorvane.engine_library_loaded()\n"
        "try:\n"
        "    quorvane.testing.SimulatedFleet().__enter__()\n"
        "except quorvane.Error as e:\n"
        "    print(e)\n"
    )
    env = dict(os.environ, QUORVANE_BASE_DIR=str(tmp_path))
    out = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, timeout=120)
    assert out.returncode == 0, out.stderr
    assert "already loaded with " + str(tmp_path) in out.stdout
