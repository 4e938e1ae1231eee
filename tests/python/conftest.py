"""Shared fixtures: small configurations and synthetic signals."""

import subprocess
import sys

import numpy as np
import pytest

import orvane_core as oc

FS = 30.0


def sinusoid(hz, seconds, fs=FS, dtype=np.float32):
    """A unit sinusoid of `hz` sampled at `fs` for `seconds`."""
    t = np.arange(int(round(seconds * fs))) / fs
    return np.sin(2 * np.pi * hz * t).astype(dtype)


def run_python(code):
    """Standard output of `code` run by a fresh interpreter (for process-wide behaviour)."""
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          check=True).stdout


@pytest.fixture
def config():
    return oc.SessionConfig("model", ["heart_rate"], FS, 40, 4, "face")


@pytest.fixture
def session(config):
    return oc.Session(config)


@pytest.fixture
def buffer_config(config):
    # min_no_state 16, min_with_state 4, stream_max 150, file_max 900, overlap 3
    return oc.compute_buffer_config(config)


@pytest.fixture
def planner(buffer_config):
    return oc.BufferPlanner(buffer_config)
