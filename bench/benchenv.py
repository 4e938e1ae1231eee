"""What bench/accuracy.py and bench/speed.py share: the optional peer tools
and the description of the machine and versions that heads each report."""
from __future__ import annotations

import datetime
import importlib.metadata
import os
import platform
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
PEERS_HINT = "build/venv/bin/python -m pip install -r bench/requirements-peers.txt"
MODULE_HINT = ("orvane_core is not importable ({}); build it with\n"
               "  build/venv/bin/python -m pip install --no-build-isolation "
               "-Cbuild-dir=build/python .")


def import_contenders():
    """Returns (orvane_core, neurokit2, heartpy); exits with a hint when the
    module is missing, and gives None for a peer that is not installed."""
    try:
        import orvane_core as oc
    except ImportError as exc:
        sys.exit(MODULE_HINT.format(exc))
    import numpy as np
    if not hasattr(np, "trapz"):
        # HeartPy 1.2.7 still calls numpy.trapz, which NumPy 2.4 removed; the
        # replacement has the same meaning.
        np.trapz = np.trapezoid
    try:
        import neurokit2 as nk
    except ImportError:
        nk = None
    try:
        import heartpy as hp
    except ImportError:
        hp = None
    return oc, nk, hp


def environment(packages: list[tuple[str, str]]) -> list[str]:
    """Markdown bullet lines: date, machine, commit and the versions of the
    given (distribution, label) pairs."""
    cpu = platform.processor() or "unknown"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    try:
        commit = subprocess.run(["git", "-C", str(REPO), "rev-parse", "--short", "HEAD"],
                                capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        commit = "unknown"
    versions = [f"Python {platform.python_version()}"]
    for dist, label in packages:
        try:
            versions.append(f"{label} {importlib.metadata.version(dist)}")
        except importlib.metadata.PackageNotFoundError:
            versions.append(f"{label} not installed")
    blas = [k for k in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE") if k in os.environ]
    load = os.getloadavg()[0] if hasattr(os, "getloadavg") else float("nan")
    return [
        f"- Date: {datetime.datetime.now().astimezone().strftime('%Y-%m-%d %H:%M %Z')}",
        f"- Machine: {cpu}, {os.cpu_count()} cores, {platform.system()} "
        f"{platform.release()}; load average {load:.1f} when the run started",
        "- orvane_core: the module installed in the running Python (pip, release build); "
        f"repository at commit {commit}",
        f"- Versions: {', '.join(versions)}",
        "- OpenBLAS overrides: " + (", ".join(f"{k}={os.environ[k]}" for k in blas)
                                    if blas else "none set"),
    ]


PEER_PACKAGES = [("numpy", "NumPy"), ("scipy", "SciPy"), ("pandas", "pandas"),
                 ("neurokit2", "NeuroKit2"), ("heartpy", "HeartPy")]
