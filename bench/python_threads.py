#!/usr/bin/python3
"""Thread scaling of the Python package, and the time from `import scenetext` to a first result.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_threads.py [FOLDER] [--threads 2]
        [--candidates extended|exact] [--repeats 3] [--limit N]

FOLDER (default ../shared/data/icdar2013-train) holds the photographs (*.jpg, *.png). They are
decoded once, then one Detector detects all of them on one thread and on --threads threads (a
pool sharing the Detector); the best of --repeats rounds of each is kept. Prints both times, the
speed-up and the load average, since other work on the machine lowers the speed-up. The lines
found on several threads must equal those of one thread, or the script fails.
"""

import argparse
import concurrent.futures
import os
import pathlib
import subprocess
import sys
import threading
import time

FIRST_RESULT = """
import time
start = time.perf_counter()
import scenetext
imported = time.perf_counter()
detector = scenetext.Detector(candidates={mode!r})
loaded = time.perf_counter()
lines = detector.detect({photo!r})
done = time.perf_counter()
print(f"{{imported - start:.4f}} {{loaded - imported:.4f}} {{done - loaded:.4f}} {{len(lines)}}")
"""


def first_result(photo, mode):
    """Import, model load and first detection, timed inside a fresh interpreter."""
    run = subprocess.run([sys.executable, "-c", FIRST_RESULT.format(mode=mode, photo=str(photo))],
                         capture_output=True, text=True, check=True)
    imported, loaded, detected, lines = run.stdout.split()
    return float(imported), float(loaded), float(detected), int(lines)


def timed(function):
    """(wall seconds, processor seconds of the whole process, result)."""
    start, start_cpu = time.perf_counter(), time.process_time()
    result = function()
    return time.perf_counter() - start, time.process_time() - start_cpu, result


def longest_stall(detector, images):
    """The longest the interpreter stays unavailable to this thread while another detects
    `images`: about one detection if the lock were held during it, a scheduling slice if not."""
    worker = threading.Thread(target=lambda: [detector.detect(image) for image in images])
    longest, last = 0.0, time.perf_counter()
    worker.start()
    while worker.is_alive():
        now = time.perf_counter()
        longest, last = max(longest, now - last), now
    worker.join()
    return longest


def main():
    import scenetext

    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", nargs="?", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parents[1] / "../shared/data/icdar2013-train")
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--candidates", choices=["extended", "exact"], default="extended")
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--limit", type=int, default=0, help="use only the first N photographs")
    arguments = parser.parse_args()

    photos = sorted(p for p in arguments.folder.iterdir() if p.suffix.lower() in (".jpg", ".png"))
    if arguments.limit:
        photos = photos[:arguments.limit]
    if not photos:
        sys.exit(f"python_threads.py: no photographs in {arguments.folder}")

    imported, loaded, detected, lines = first_result(photos[0], arguments.candidates)
    print(f"first result ({photos[0].name}, {lines} lines): import {imported * 1000:.1f} ms, "
          f"model {loaded * 1000:.1f} ms, detection {detected * 1000:.1f} ms, "
          f"total {(imported + loaded + detected) * 1000:.1f} ms")

    detector = scenetext.Detector(candidates=arguments.candidates)
    images = [scenetext.read_image(photo) for photo in photos]
    pixels = sum(image.shape[0] * image.shape[1] for image in images)
    print(f"{len(images)} photographs, {pixels / 1e6:.1f} megapixels, {arguments.candidates} candidates, "
          f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.2f} before")

    # Rounds alternate, so that a change in the machine's other load hits both alike.
    alone, shared = [], []
    with concurrent.futures.ThreadPoolExecutor(max_workers=arguments.threads) as pool:
        for _ in range(arguments.repeats):
            alone.append(timed(lambda: [detector.detect(image) for image in images]))
            shared.append(timed(lambda: list(pool.map(detector.detect, images))))
    if any(run[2] != alone[0][2] for run in alone + shared):
        sys.exit("python_threads.py: threads found other lines than one thread")
    (alone_wall, alone_cpu, _), (shared_wall, shared_cpu, _) = min(alone), min(shared)
    # Processor time over wall time above 1 shows detections running at the same time: with the
    # interpreter lock held during detection it could not exceed 1, however idle the machine.
    print(f"1 thread: {alone_wall:.2f} s ({alone_wall / len(images) * 1000:.1f} ms per photo, "
          f"processor/wall {alone_cpu / alone_wall:.2f}); {arguments.threads} threads: "
          f"{shared_wall:.2f} s (processor/wall {shared_cpu / shared_wall:.2f}); "
          f"speed-up {alone_wall / shared_wall:.2f}x; load average {os.getloadavg()[0]:.2f} after")
    largest = max(images, key=lambda image: image.size)
    single, _, _ = timed(lambda: detector.detect(largest))
    stall = longest_stall(detector, [largest] * 5)
    print(f"longest stall of another Python thread while one detects the largest photo 5 times: "
          f"{stall * 1000:.1f} ms (one detection of it: {single * 1000:.1f} ms)")


if __name__ == "__main__":
    main()
