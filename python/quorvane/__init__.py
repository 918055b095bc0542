"""Python host interface to the engine library Quorvane.

Controller command runs, AP inventory and filters, parallel AP polls with per-AP logs and
the stuck-client workflow, under the same names as the C++ library::

    from quorvane import Quorvane
    q = Quorvane(log_cb=print)
    rows = q.fetch_full_ap_list()
    success, failed = q.run_ap_poller(rows, "AP", ["show version"])

The engine library fixes its base directory (where confd/ and data/ live) when it is
loaded: the folder given by QUORVANE_BASE_DIR, else the folder of the library file. Importing
this package does not load it yet; the first use of a name below that needs the engine does.
That lets quorvane.testing.SimulatedFleet point a script at a temporary base directory.
"""

import importlib
import typing

from quorvane.errors import (
    CallbackError,
    ConfigError,
    DeviceError,
    EngineError,
    Error,
    FileError,
    LoadError,
)

# Names served by the native module, loaded on first use.
_NATIVE_NAMES = (
    "Quorvane",
    "ApRow",
    "PollResult",
    "SiteTagAnswer",
    "DeviceParams",
    "DeviceSession",
    "IniStore",
    "IniDocument",
    "WlcParse",
    "encrypt_value",
    "decrypt_value",
    "_xor_bytes",
    "compute_max_workers",
    "get_app_base_dir",
    "ensure_dir",
    "today_data_dir",
    "_safe_write_append",
    "_safe_filename",
    "_is_ipv4",
    "ssh_port_open",
    "BASE_DIR",
    "CONFD",
    "DATA_ROOT",
    "ENC_PREFIX",
    "_XOR_KEY",
    "QCA_PREFIXES",
)

__all__ = [name for name in _NATIVE_NAMES if not name.startswith("_")] + [
    "Error",
    "LoadError",
    "ConfigError",
    "FileError",
    "DeviceError",
    "EngineError",
    "CallbackError",
    "engine_library_loaded",
]


def engine_library_loaded() -> bool:
    """True once the engine library (and so its base directory) has been loaded."""
    import sys

    return "quorvane._quorvane" in sys.modules


def __getattr__(name: str) -> typing.Any:
    if name in _NATIVE_NAMES:
        native = importlib.import_module("quorvane._quorvane")
        value = getattr(native, name)
        globals()[name] = value
        return value
    raise AttributeError(f"module 'quorvane' has no attribute {name!r}")


def __dir__() -> typing.List[str]:
    return sorted(set(globals()) | set(_NATIVE_NAMES))
