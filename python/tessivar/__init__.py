"""Python interface to the offline flash analyser Tessivar.

    import tessivar
    susceptible, report = tessivar.analyze_logs(run_dir + "/WLC_10_0_0_5")

analyze_logs reads every per-AP ".log" file of one folder (as the engine's polls write
them), appends a report to that folder and returns the susceptible APs as dicts with the
keys ap_name, ap_model, ap_ip and recovery. The check functions read one log file each and
return None for a fact the log does not show. RECOVERIES lists the recovery texts in
report order.
"""

from tessivar._tessivar import (
    RECOVERIES,
    _read_lines,
    analyze_logs,
    ap_hostname_from_run_header,
    ap_ip_from_run_header,
    ap_model_from_log,
    backup_version_check,
    cnssdaemon_log_present,
    current_boot_partition,
    image_integrity_failed,
    part2_mem_available_mb,
    primary_version_check,
)
from tessivar.errors import Error, FileError

__all__ = [
    "RECOVERIES",
    "analyze_logs",
    "ap_hostname_from_run_header",
    "ap_ip_from_run_header",
    "ap_model_from_log",
    "primary_version_check",
    "backup_version_check",
    "cnssdaemon_log_present",
    "current_boot_partition",
    "image_integrity_failed",
    "part2_mem_available_mb",
    "Error",
    "FileError",
]
