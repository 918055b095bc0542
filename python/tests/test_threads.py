"""The binding's own thread behaviour: the GIL is released while an operation runs,
callbacks arrive from the engine's threads, shutdown works from another Python thread and
Ctrl-C stops a run."""

import _thread
import threading

import pytest

import quorvane

FLASH_COMMANDS = ["show version", "show boot", "show flash"]


def start_when(event, action):
    """Runs action on a Python thread once event is set: it can only run while the thread
    that waits in the engine has released the GIL."""
    thread = threading.Thread(target=lambda: (event.wait(60), action()), daemon=True)
    thread.start()
    return thread


def test_python_threads_run_and_shutdown_stops_a_poll(engine_factory):
    first_update = threading.Event()
    update_threads, log_threads = set(), set()

    def on_update(*result):
        update_threads.add(threading.get_ident())
        first_update.set()

    q = engine_factory(
        log_cb=lambda line: log_threads.add(threading.get_ident()), ap_update_cb=on_update
    )
    rows = q.fetch_full_ap_list()
    helper = start_when(first_update, q.shutdown)
    success, failed = q.run_ap_poller(rows, "AP", FLASH_COMMANDS)
    helper.join(60)

    assert q._shutdown_event
    # The unreachable AP's three attempts outlast the stop, so the run ended early.
    assert 0 < success + failed < len(rows)
    assert threading.get_ident() not in update_threads
    assert len(log_threads) > 2, "workers log from threads of their own"


@pytest.mark.parametrize(
    "operation, trigger_line",
    [
        (lambda q: q.run_ap_poller(q.fetch_full_ap_list(), "AP", FLASH_COMMANDS), "[AP] Mode="),
        (lambda q: q.run_client_auth_workflow(), "[AUTH] Waiting"),
    ],
    ids=["poll", "auth-window"],
)
def test_ctrl_c_shuts_the_engine_down_and_raises(engine_factory, operation, trigger_line):
    started = threading.Event()
    q = engine_factory(
        log_cb=lambda line: line.startswith(trigger_line) and started.set(),
        auth_window_seconds=600,
    )
    helper = start_when(started, _thread.interrupt_main)
    with pytest.raises(KeyboardInterrupt):
        operation(q)
    helper.join(60)
    assert q._shutdown_event


@pytest.mark.parametrize(
    "callback, operation, outcome",
    [
        # A raising log callback fails the step that logged: each controller fails.
        ("log_cb", lambda q: q.run_wlc_cmds(["show version"]), ""),
        # A raising progress callback ends a poll, and the caller sees why.
        ("progress_cb", lambda q: q.run_ap_poller(q.fetch_full_ap_list()[:2], "AP", []), quorvane.CallbackError),
        # A raising AP update callback is ignored by the poll.
        ("ap_update_cb", lambda q: q.run_ap_poller(q.fetch_full_ap_list()[:2], "AP", []), (2, 0)),
    ],
)
def test_a_raising_callback_is_handled_and_logged(engine_factory, caplog, callback, operation, outcome):
    def boom(*args):
        if callback != "log_cb" or str(args[0]).startswith("[WLC] Running"):
            raise ValueError("boom")

    q = engine_factory(**{callback: boom})
    if isinstance(outcome, type):
        with pytest.raises(outcome, match=f"{callback} raised ValueError: boom"):
            operation(q)
    else:
        assert operation(q) == outcome
    reports = [r for r in caplog.records if r.name == "quorvane" and r.exc_info]
    assert reports and reports[0].exc_info[0] is ValueError


def test_one_operation_at_a_time(engine_factory):
    waiting = threading.Event()
    q = engine_factory(
        log_cb=lambda line: line.startswith("[AUTH] Waiting") and waiting.set(),
        auth_window_seconds=600,
    )
    refused = []

    def second_call():
        try:
            q.fetch_full_ap_list()
        except quorvane.EngineError as e:
            refused.append(str(e))
        q.shutdown()

    helper = start_when(waiting, second_call)
    assert q.run_client_auth_workflow() == []
    helper.join(60)
    assert refused and "one operation at a time" in refused[0]
