#!/usr/bin/python3
"""Images per second of scenetext.dask on a local cluster against scenetext-batch --jobs N.

    PYTHONPATH=build/python /usr/bin/python3 bench/dask_throughput.py [FOLDER] [--build build]
        [--workers 2] [--model models/default.model] [--repeats 2]

FOLDER (default ../shared/data/icdar2013-train) holds the photographs. A Dask cluster of
--workers processes of one thread each listens on 127.0.0.1 (ports picked by the system); the
module runs over the folder, and so does scenetext-batch --jobs WORKERS --jsonl (its images and
box lists go to a temporary folder), in turn, best of --repeats wall times each. The module's
time counts the whole command: starting the interpreter, importing Dask, connecting, listing and
detecting; the cluster is already up, as a cluster is when a run is sent to it. The batch also
encodes and writes each annotated photo and box list, which the workers skip, so the third figure
is the workers' own work without Dask: the same JSON lines made in this process on WORKERS
threads (model load included); a run over an empty folder times the module's start-up. Prints the three rates, the module's overhead per image over each
and the load average, since other work on the machine shifts them all. The JSON lines of the
three must be equal, or the script fails.
"""

import argparse
import concurrent.futures
import os
import pathlib
import subprocess
import sys
import tempfile
import time

import distributed

ROOT = pathlib.Path(__file__).resolve().parents[1]


def best_of(repeats, command, **options):
    best = None
    for _ in range(repeats):
        start = time.perf_counter()
        done = subprocess.run(command, capture_output=True, text=True, **options)
        seconds = time.perf_counter() - start
        if done.returncode not in (0, 1):
            sys.exit(f"{command[0]} failed: {done.stderr}")
        best = seconds if best is None else min(best, seconds)
    return best


def in_process(folder, model, threads):
    """(wall seconds, JSON Lines bytes) of the workers' work on `threads` threads, without Dask."""
    from scenetext import _scenetext
    start = time.perf_counter()
    lines = _scenetext.JsonLines(os.fsencode(model), False, os.fsencode(model), 0.0)
    images = _scenetext.folder_images(os.fsencode(folder))
    with concurrent.futures.ThreadPoolExecutor(threads) as pool:
        results = list(pool.map(lambda image: lines.line(image, image)[0], images))
    return time.perf_counter() - start, b"".join(line + b"\n" for line in results)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", nargs="?", default=ROOT.parent / "shared/data/icdar2013-train")
    parser.add_argument("--build", default=ROOT / "build", type=pathlib.Path)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--model", default=str(ROOT / "models/default.model"))
    parser.add_argument("--repeats", type=int, default=2)
    arguments = parser.parse_args()
    environment = {**os.environ, "PYTHONPATH": str(arguments.build / "python")}
    with tempfile.TemporaryDirectory() as scratch, distributed.LocalCluster(
            n_workers=arguments.workers, threads_per_worker=1, processes=True, host="127.0.0.1",
            scheduler_port=0, dashboard_address=None,
            scheduler_kwargs={"dashboard_address": "127.0.0.1:0"},
            worker_dashboard_address="127.0.0.1:0") as cluster:
        scratch = pathlib.Path(scratch)
        (scratch / "out").mkdir()
        batch = best_of(arguments.repeats, [
            str(arguments.build / "scenetext-batch"), "--jobs", str(arguments.workers),
            "--jsonl", str(scratch / "batch.jsonl"), arguments.model, str(arguments.folder),
            f"{scratch}/out/"])
        dask = best_of(arguments.repeats, [
            sys.executable, "-m", "scenetext.dask", cluster.scheduler_address,
            str(arguments.folder), str(scratch / "dask.jsonl"), "--model", arguments.model],
            env=environment)
        (scratch / "empty").mkdir()
        startup = best_of(arguments.repeats, [
            sys.executable, "-m", "scenetext.dask", cluster.scheduler_address,
            str(scratch / "empty"), str(scratch / "empty.jsonl"), "--model", arguments.model],
            env=environment)
        alone, alone_lines = min(in_process(arguments.folder, arguments.model, arguments.workers)
                                 for _ in range(arguments.repeats))
        expected = (scratch / "batch.jsonl").read_bytes()
        if (scratch / "dask.jsonl").read_bytes() != expected or alone_lines != expected:
            sys.exit("the JSON lines differ")
        count = len((scratch / "batch.jsonl").read_bytes().splitlines())
    print(f"{count} photos, {arguments.workers} workers, load average {os.getloadavg()[0]:.1f}")
    print(f"scenetext-batch --jobs {arguments.workers}: {batch:.2f} s, {count / batch:.1f} img/s")
    print(f"scenetext.dask: {dask:.2f} s, {count / dask:.1f} img/s")
    print(f"scenetext.dask over an empty folder (start-up, connection): {startup:.2f} s")
    print(f"the workers' work in one process, {arguments.workers} threads: {alone:.2f} s, "
          f"{count / alone:.1f} img/s")
    print(f"scenetext.dask's overhead per photo of wall time: {(dask - batch) / count * 1000:+.1f} ms "
          f"over the batch, {(dask - alone) / count * 1000:+.1f} ms over the work alone, "
          f"{(dask - startup - alone) / count * 1000:+.1f} ms over the work alone after start-up")


if __name__ == "__main__":
    main()
