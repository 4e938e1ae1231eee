"""Python call overhead of orvane_core, measured against the same calls made in C++.

Usage (from the repository root, after `pip install .` into the venv and building the core
benchmark, e.g. `cmake --build <dir> --target bench_python_core`):

    build/venv/bin/python bench/bench_python.py --core-bench <dir>/bench/bench_python_core

Times are CPU time per call (time.process_time; the best of several repeats), so that they
compare with Google Benchmark's CPU column on a loaded machine. Reported:
  - estimate_heart_rate on 300 float32 samples: Python call, core call, difference;
  - Session.process with a 30-frame batch at steady state (one minute of history), with the
    vitals and waveforms configured and with none: Python call, core call, difference (the
    difference is the binding: binding the arguments, copying the input out of its object,
    parsing the mode and wrapping the result);
  - the conversions a caller does around process: building the SessionInput from NumPy arrays
    and reading every field of the result.
"""

import argparse
import json
import subprocess
import time
import timeit

import numpy as np

import orvane_core as oc

FS = 30.0
BATCH = 30


def sinusoid(hz, n, start=0):
    return np.sin(2 * np.pi * hz * (start + np.arange(n)) / FS).astype(np.float32)


def batch(start):
    conf = np.full(BATCH, 0.9, np.float32)
    face = oc.FaceInput(np.tile(np.float32([10, 20, 100, 120]), (BATCH, 1)),
                        np.ones(BATCH, np.float32))
    signals = {"ppg": oc.SignalInput(sinusoid(1.2, BATCH, start), conf),
               "resp": oc.SignalInput(sinusoid(0.25, BATCH, start), conf)}
    return oc.SessionInput(face, signals, (start + np.arange(BATCH)) / FS)


def config(with_vitals):
    if with_vitals:
        return oc.SessionConfig("bench", ["heart_rate", "respiratory_rate"], FS, 40, 4, "face",
                                ["ppg_waveform", "respiratory_waveform"])
    return oc.SessionConfig("bench", [], FS, 40, 4, "face")


def per_call_us(stmt, number, repeat=5):
    timer = timeit.Timer(stmt, timer=time.process_time)
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e6


def heart_rate_us(n=300):
    x = sinusoid(1.2, n)
    return per_call_us(lambda: oc.estimate_heart_rate(x, FS), 2000 if n else 200000)


def process_us(with_vitals, calls=600, repeat=5):
    best = float("inf")
    for _ in range(repeat):
        session = oc.Session(config(with_vitals))
        frame = 0
        for _ in range(60):  # one minute of history, as in the core benchmark
            session.process(batch(frame), "Incremental")
            frame += BATCH
        batches = [batch(frame + k * BATCH) for k in range(calls)]
        start = time.process_time()
        for b in batches:
            session.process(b, "Incremental")
        best = min(best, (time.process_time() - start) / calls * 1e6)
    return best


def build_input_us():
    conf = np.full(BATCH, 0.9, np.float32)
    ppg, resp = sinusoid(1.2, BATCH), sinusoid(0.25, BATCH)
    boxes = np.tile(np.float32([10, 20, 100, 120]), (BATCH, 1))
    stamps = np.arange(BATCH) / FS
    ones = np.ones(BATCH, np.float32)

    def build():
        return oc.SessionInput(oc.FaceInput(boxes, ones),
                               {"ppg": oc.SignalInput(ppg, conf), "resp": oc.SignalInput(resp, conf)},
                               stamps)
    return per_call_us(build, 5000)


def read_result_us():
    session = oc.Session(config(True))
    for k in range(60):
        result = session.process(batch(k * BATCH), "Incremental")

    def read():
        for v in result.vitals.values():
            (v.value, v.confidence, v.unit, v.note)
        for w in result.waveforms.values():
            (w.data, w.confidence, w.unit, w.note)
        face = result.face
        (face.coordinates, face.confidence, result.timestamp, result.fps, result.message)
    return per_call_us(read, 5000)


def core_figures(path):
    out = subprocess.run([path, "--benchmark_format=json", "--benchmark_repetitions=5",
                          "--benchmark_report_aggregates_only=true"],
                         capture_output=True, text=True, check=True).stdout
    figures = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            scale = {"us": 1.0, "ns": 1e-3, "ms": 1e3}[b["time_unit"]]
            figures[b["run_name"]] = b["cpu_time"] * scale
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--core-bench", help="path of the bench_python_core executable")
    args = parser.parse_args()
    core = core_figures(args.core_bench) if args.core_bench else {}

    rows = [
        ("estimate_heart_rate, 300 samples", heart_rate_us(),
         core.get("BM_PyCore_EstimateHeartRate300"), 5.0),
        ("Session.process, 30 frames, vitals+waveforms", process_us(True),
         core.get("BM_PyCore_SessionProcessBatch30/1"), 30.0),
        ("Session.process, 30 frames, empty config", process_us(False),
         core.get("BM_PyCore_SessionProcessBatch30/0"), 30.0),
    ]
    print(f"{'call (CPU time per call)':48} {'python us':>10} {'core us':>10} {'diff us':>9} {'target':>7}")
    for name, python, core_us, target in rows:
        if core_us is None:
            print(f"{name:48} {python:10.2f} {'-':>10} {'-':>9} {target:7.0f}")
        else:
            print(f"{name:48} {python:10.2f} {core_us:10.2f} {python - core_us:9.2f} {target:7.0f}")
    print(f"{'estimate_heart_rate, empty array (binding only)':48} {heart_rate_us(0):10.2f}")
    print(f"{'build SessionInput from NumPy arrays (30 frames)':48} {build_input_us():10.2f}")
    print(f"{'read every field of a SessionResult':48} {read_result_us():10.2f}")


if __name__ == "__main__":
    main()
