"""What crosses the boundary: shared rows, optional values, errors."""

import os

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
