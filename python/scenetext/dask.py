"""Text detection over a Dask cluster, writing what scenetext-batch --jsonl writes.

    python3 -m scenetext.dask SCHEDULER IMAGES OUT.jsonl [--model FILE]
                              [--candidates exact|extended] [--min-score S]

SCHEDULER is the address of a running Dask scheduler (tcp://host:port). IMAGES is a folder, whose
image files are taken in scenetext-batch's order (sorted by their bytes), or a file of paths, one
per line, read as scenetext-batch --files-from reads it (- for standard input). The workers read the photos and the model
themselves, so both lie on a filesystem every worker sees under the same paths; a relative path is
taken from the folder this command runs in. The photos go to the workers in small batches; each
worker process loads the model once and detects with the interpreter lock released.

OUT.jsonl receives one JSON object per image, in input order, byte for byte the line that
scenetext-batch --jsonl writes with the same model path, candidates and minimum score; a failed
image is an {"image", "error"} object with the batch's message. Lines are written whole as soon as
every image before them is done. The workers write nothing else: no annotated images, no box
lists. Progress goes to stderr; the exit status is 0 when every image was read, 1 when any failed
or the run could not finish (bad model, unreachable scheduler, a worker lost), 2 for bad
arguments, and 130 after Ctrl-C, which cancels the outstanding work and leaves OUT.jsonl holding
the complete lines of the images before the first unfinished one.
"""

import argparse
import math
import os
import signal
import sys
import threading
import time

import distributed

from . import _scenetext

TOOL = "scenetext.dask"
_MODELS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "models")
_BUNDLED = {"exact": "default.model", "extended": "extended.model"}

# Images per task: enough that the scheduler's few milliseconds per task are noise next to some
# 20 to 40 ms of detection per photo, few enough that the tasks spread evenly over the workers.
_MAX_CHUNK = 16
# Tasks per worker thread submitted ahead of the next line to write: keeps every thread busy while
# bounding the results held back by one slow image.
_TASKS_PER_THREAD = 4

# Per worker process: the loaded models, by the settings that name them.
_loaded = {}
_loading = threading.Lock()


def _json_lines(settings):
    model, extended, name, min_score = settings
    with _loading:
        lines = _loaded.get(settings)
        if lines is None:
            if model is None:
                model = os.fsencode(os.path.join(_MODELS, _BUNDLED["extended" if extended else "exact"]))
            lines = _scenetext.JsonLines(model, extended, name, min_score)
            if not _loaded:
                # The worker's threads are the parallelism, as scenetext-batch's are; and the
                # memory a photo frees serves the next one (see the native module).
                _scenetext.set_opencv_threads(1)
                _scenetext.reuse_freed_memory()
            _loaded[settings] = lines
    return lines


def detect_chunk(settings, images):
    """Runs on a worker: the (JSON line, failure message or None), as bytes, of each (image as given, path to
    read) pair. settings: (model path to read or None for the bundled one, extended, model as
    named in the JSON, minimum score)."""
    lines = _json_lines(settings)
    return [lines.line(image, read) for image, read in images]


class Failure(Exception):
    """A run that cannot start or finish; the message names the file or the cause."""


class Interrupted(Exception):
    pass


def _arguments(argv):
    parser = argparse.ArgumentParser(
        prog=f"python3 -m {TOOL}",
        description="Detects the text lines of every image of a folder or list on a Dask cluster "
                    "and writes one JSON object per image, in input order, as scenetext-batch "
                    "--jsonl does.")
    parser.add_argument("scheduler", help="address of a running Dask scheduler, tcp://host:port")
    parser.add_argument("images", help="folder of images, or a file of image paths, one per line "
                                       "(- for standard input)")
    parser.add_argument("out", help="the JSON Lines file to write")
    parser.add_argument("--model", help="stump-cascade model file, read by the workers (default: "
                                        "the model bundled for the candidate stage)")
    parser.add_argument("--candidates", choices=["exact", "extended"], default="exact",
                        help="candidate stage (default: %(default)s)")
    parser.add_argument("--min-score", type=float, default=0.0, metavar="S",
                        help="leave out the lines scoring below S, in [0, 1] (default: 0)")
    arguments = parser.parse_args(argv)
    if not 0.0 <= arguments.min_score <= 1.0:
        parser.error(f"--min-score: {arguments.min_score:g} is not in [0, 1]")
    return arguments


def _reachable(path):
    """`path` as the workers should open it: relative paths are taken from this folder."""
    return path if os.path.isabs(path) else os.path.join(os.getcwd().encode(), path)


def _images(images):
    """The (as given, path to read) pairs of IMAGES, in the batch's order."""
    try:
        if images == "-":
            listed = _scenetext.parsed_images(sys.stdin.buffer.read())
        elif os.path.isdir(images):
            listed = _scenetext.folder_images(os.fsencode(images))
        else:
            listed = _scenetext.listed_images(os.fsencode(images))
    except _scenetext.NativeError as error:
        raise Failure(str(error)) from None
    return [(image, _reachable(image)) for image in listed]


def _settings(arguments):
    """The workers' settings, after loading the model here once so that a bad one stops the run
    before anything is sent."""
    extended = arguments.candidates == "extended"
    if arguments.model is None:
        name = os.fsencode(os.path.join(_MODELS, _BUNDLED[arguments.candidates]))
        settings = (None, extended, name, arguments.min_score)
        check = name
    else:
        name = os.fsencode(arguments.model)
        settings = (_reachable(name), extended, name, arguments.min_score)
        check = settings[0]
    try:
        _scenetext.JsonLines(check, extended, name, arguments.min_score)
    except _scenetext.NativeError as error:
        raise Failure(str(error).replace(os.fsdecode(check), os.fsdecode(name), 1)) from None
    return settings


class Progress:
    """Images done, images per second and the time left on stderr: redrawn in place on a
    terminal, otherwise a line every ten seconds."""

    def __init__(self, total):
        self.total = total
        self.done = 0
        self.start = time.monotonic()
        self.shown = self.start
        self.terminal = sys.stderr.isatty()

    def advance(self, count):
        self.done += count
        now = time.monotonic()
        if not self.terminal and now - self.shown < 10 and self.done < self.total:
            return
        self.shown = now
        rate = self.done / (now - self.start) if now > self.start else 0.0
        left = int((self.total - self.done) / rate) if rate > 0 else 0
        text = (f"{self.done}/{self.total} images  {rate:.1f} img/s  "
                f"{left // 60}:{left % 60:02d} left")
        end = "\n" if not self.terminal or self.done == self.total else ""
        sys.stderr.write(("\r" + text + " " if self.terminal else text) + end)
        sys.stderr.flush()

    def report(self, message):
        sys.stderr.write(("\r" if self.terminal else "") + f"{TOOL}: {message}\n")
        sys.stderr.flush()


def _chunks(images, threads):
    size = max(1, min(_MAX_CHUNK, math.ceil(len(images) / (threads * _TASKS_PER_THREAD * 2))))
    return [images[start:start + size] for start in range(0, len(images), size)]


def _finished(pending):
    try:
        done, _ = distributed.wait(list(pending), timeout=0.2, return_when="FIRST_COMPLETED")
    except TimeoutError:
        return []
    return done


def _detect(client, settings, images, out, stop):
    """Writes the images' lines to `out` in order; returns the number that failed."""
    threads = max(1, sum(client.nthreads().values()))
    chunks = _chunks(images, threads)
    window = threads * _TASKS_PER_THREAD
    progress = Progress(len(images))
    pending, ready = {}, {}
    submitted = written = failed = 0
    try:
        while written < len(chunks):
            if stop.is_set():
                raise Interrupted
            while submitted < len(chunks) and submitted - written < window:
                # Earlier chunks first, so that lines reach the file steadily.
                future = client.submit(detect_chunk, settings, chunks[submitted], pure=False,
                                       priority=len(chunks) - submitted)
                pending[future] = submitted
                submitted += 1
            for future in _finished(pending):
                ready[pending.pop(future)] = future.result()
            while written in ready:
                results = ready.pop(written)
                out.write(b"".join(line + b"\n" for line, _ in results))
                out.flush()
                for _, failure in results:
                    if failure is not None:
                        failed += 1
                        progress.report(os.fsdecode(failure))
                progress.advance(len(results))
                written += 1
    finally:
        client.cancel(list(pending))
    return failed


def run(arguments, stop):
    images = _images(arguments.images)
    settings = _settings(arguments)
    try:
        client = distributed.Client(arguments.scheduler, timeout=10)
    except (OSError, TimeoutError, ValueError) as error:
        raise Failure(f"cannot reach the scheduler at '{arguments.scheduler}': {error}") from None
    try:
        try:
            out = open(arguments.out, "wb")
        except OSError as error:
            raise Failure(f"cannot write '{arguments.out}': {error.strerror}") from None
        with out:
            failed = _detect(client, settings, images, out, stop)
    finally:
        client.close()
    print(f"processed {len(images) - failed} of {len(images)} images, {failed} failed")
    return 1 if failed else 0


def main(argv=None):
    arguments = _arguments(argv)
    # Ctrl-C is noted and acted on between whole lines, never in the middle of writing one.
    stop = threading.Event()
    previous = signal.signal(signal.SIGINT, lambda *_: stop.set())
    try:
        return run(arguments, stop)
    except Failure as error:
        print(f"{TOOL}: {error}", file=sys.stderr)
        return 1
    except Interrupted:
        print(f"\n{TOOL}: interrupted; '{arguments.out}' holds the complete lines written so far",
              file=sys.stderr)
        return 130
    except Exception as error:  # a worker lost or a task that raised: the run cannot finish
        print(f"{TOOL}: the run stopped: {type(error).__name__}: {error}", file=sys.stderr)
        return 1
    finally:
        signal.signal(signal.SIGINT, previous)


if __name__ == "__main__":
    # Run as the module scenetext.dask, not as __main__, so that the workers find detect_chunk
    # by its name in the installed package.
    from scenetext import dask as _module
    sys.exit(_module.main())
