"""Test scripts without devices: a simulated fleet of controllers and APs on loopback.

    from quorvane.testing import SimulatedFleet

    with SimulatedFleet() as fleet:
        from quorvane import Quorvane
        q = Quorvane(ssh_port=fleet.port)
        rows = q.fetch_full_ap_list()

SimulatedFleet() starts the demo fleet that ``quorvane --simulate`` uses (2 controllers,
15 APs, one per case of the flash check and of the session faults); SimulatedFleet(aps=N)
starts a generated fleet of N APs on 2 controllers instead. The fleet runs on threads of
this process until the with-block ends.

The base directory. The engine library fixes its base directory when it is loaded, and a
simulated fleet must never write its config.ini over a real one. So the first
SimulatedFleet of a process makes a temporary base directory and loads the engine library
with QUORVANE_BASE_DIR pointing at it; every later SimulatedFleet of the process reuses that
folder, writing a fresh config.ini into it. This only works when the engine library has not
been loaded yet: enter the first SimulatedFleet before the first use of Quorvane, IniStore
or another engine name (``import quorvane`` alone does not load it). A pytest suite does
that in a session fixture of its conftest.py, importing the engine names inside its tests.
The folder is left in place, like the one of ``quorvane --simulate``, so that the runs'
output can be read afterwards.
"""

import os
import tempfile
import typing

import quorvane
from quorvane.errors import Error

__all__ = ["SimulatedFleet"]

# The folder the engine library was loaded with by the first SimulatedFleet.
_simulation_base_dir: typing.Optional[str] = None

# A simulated fleet never runs unbounded, even in a process that forgets to end it.
_MAX_SECONDS = 3600


def _base_dir() -> str:
    global _simulation_base_dir
    if _simulation_base_dir is not None:
        return _simulation_base_dir
    if quorvane.engine_library_loaded():
        raise Error(
            "SimulatedFleet needs a base directory of its own, but the engine library is "
            f"already loaded with {quorvane.BASE_DIR}; enter the first SimulatedFleet before "
            "the first use of Quorvane, IniStore or another engine name"
        )
    folder = tempfile.mkdtemp(prefix="quorvane-sim-")
    previous = os.environ.get("QUORVANE_BASE_DIR")
    os.environ["QUORVANE_BASE_DIR"] = folder
    try:
        loaded_with = quorvane.BASE_DIR  # loads the engine library
    finally:
        # Only the load reads it; programs this process starts keep the user's setting.
        if previous is None:
            del os.environ["QUORVANE_BASE_DIR"]
        else:
            os.environ["QUORVANE_BASE_DIR"] = previous
    if os.path.realpath(loaded_with) != os.path.realpath(folder):
        raise Error(f"the engine library uses {loaded_with} instead of {folder}")
    _simulation_base_dir = folder
    return folder


class SimulatedFleet:
    """Simulated controllers and APs on loopback with a matching config.ini.

    Attributes once entered: ``port`` (the SSH port every device listens on; pass it as
    ``Quorvane(ssh_port=fleet.port)``), ``base_dir`` (the engine's base directory),
    ``config_path`` and ``devices`` (each with kind, address, hostname, model, ...).
    """

    def __init__(self, aps: typing.Optional[int] = None) -> None:
        self._aps = aps
        self._simulator: typing.Any = None
        self.port = 0
        self.base_dir = ""
        self.config_path = ""
        self.devices: typing.List[typing.Any] = []

    def __enter__(self) -> "SimulatedFleet":
        from quorvane import _fleetsim

        self.base_dir = _base_dir()
        simulator = _fleetsim.Simulator(
            "demo" if self._aps is None else "generated",
            self._aps or 0,
            os.path.join(self.base_dir, "fleetsim"),
            _MAX_SECONDS,
        )
        simulator.start()
        self._simulator = simulator
        try:
            self.port = simulator.port
            self.devices = simulator.devices
            self.config_path = self._write_config()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc_info: typing.Any) -> None:
        if self._simulator is not None:
            self._simulator.stop()
            self._simulator = None

    def _write_config(self) -> str:
        path = os.path.join(quorvane.CONFD, "config.ini")
        # The folder is ours: a fresh file, so no controller of an earlier fleet stays.
        if os.path.exists(path):
            os.remove(path)
        store = quorvane.IniStore(path)
        controllers = [d for d in self.devices if d.kind == "controller"]
        aps = [d for d in self.devices if d.kind == "access_point"]
        for i, wlc in enumerate(controllers):
            store.bulk_set(
                "WLC" if i == 0 else f"WLC{i + 1}",
                {"wlc_ip": wlc.address, "wlc_user": wlc.username, "wlc_pasw": wlc.password},
            )
        if aps:
            store.bulk_set(
                "AP",
                {"ap_user": aps[0].username, "ap_pasw": aps[0].password,
                 "ap_enable": aps[0].enable_secret},
            )
        # The simulated APs accept any non-empty transfer login and a path with a file name.
        store.bulk_set(
            "FTP",
            {"ftp_proto": "SFTP", "ftp_addr": "127.0.0.1", "ftp_path": "/images/ap-image.tar",
             "ftp_user": "ftpuser", "ftp_pasw": "ftppass"},
        )
        store.save()
        return path
