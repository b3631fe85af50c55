"""Shared fixtures: the scenetext command to compare with, photos, and writers of lossless image
files, so that an array and the file made from it hold the same pixels."""

import json
import os
import pathlib
import struct
import subprocess
import sys
import zlib

import numpy
import pytest

SOURCE_DIR = pathlib.Path(os.environ.get("SCENETEXT_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
BINARY_DIR = pathlib.Path(os.environ.get("SCENETEXT_BINARY_DIR", SOURCE_DIR / "build"))
COMMAND = BINARY_DIR / "scenetext"
MODELS = {"exact": SOURCE_DIR / "models" / "default.model",
          "extended": SOURCE_DIR / "models" / "extended.model"}
PHOTOS = sorted((SOURCE_DIR / "docs").glob("synth-example-*.jpg"))
# ctest sets PYTHONPATH; `python3 -m pytest python/tests` from a checkout uses build/.
if "SCENETEXT_BINARY_DIR" not in os.environ:
    sys.path.insert(0, str(BINARY_DIR / "python"))


@pytest.fixture(scope="session", params=["exact", "extended"])
def mode(request):
    return request.param


@pytest.fixture(scope="session")
def detectors():
    import scenetext
    return {mode: scenetext.Detector(candidates=mode) for mode in MODELS}


class Command:
    """Runs `scenetext --json` and reads back what it wrote."""

    def __init__(self, folder):
        self.folder = folder
        self.runs = 0

    def lines(self, image, mode, model=None):
        self.runs += 1
        prefix = self.folder / f"run{self.runs}"
        prefix.mkdir()
        model = model if model is not None else MODELS[mode]
        done = subprocess.run(
            [str(COMMAND), "--json", "--candidates", mode, str(model), str(image),
             f"{prefix}/"], capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        name = pathlib.Path(image).name
        report = json.loads((prefix / f"{name}.json").read_text())
        boxes = [tuple(int(v) for v in row.split(","))
                 for row in (prefix / f"{name}.txt").read_text().splitlines()]
        # The JSON and the box list agree; tests compare with both through the JSON.
        assert [(l["left"], l["top"], l["right"], l["bottom"]) for l in report["lines"]] == boxes
        return report["lines"]

    def words(self, image, mode):
        """The box list of `scenetext --granularity word --scores`, as word dicts."""
        self.runs += 1
        prefix = self.folder / f"run{self.runs}"
        prefix.mkdir()
        done = subprocess.run(
            [str(COMMAND), "--granularity", "word", "--scores", "--candidates", mode,
             str(MODELS[mode]), str(image), f"{prefix}/"], capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        rows = (prefix / f"{pathlib.Path(image).name}.txt").read_text().splitlines()
        words = []
        for row in rows:
            left, top, right, bottom, score = row.split(",")
            words.append({"left": int(left), "top": int(top), "right": int(right),
                          "bottom": int(bottom), "score": float(score)})
        return words


@pytest.fixture
def command(tmp_path):
    return Command(tmp_path)


def _png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def write_png(path, image):
    """A grey, BGR or BGRA uint8 array as an 8-bit PNG (stored as grey, RGB or RGBA)."""
    channels = 1 if image.ndim == 2 else image.shape[2]
    pixels = image if channels == 1 else image[:, :, [2, 1, 0, 3][:channels]]
    rows = numpy.ascontiguousarray(pixels).reshape(image.shape[0], -1)
    raw = b"".join(b"\x00" + row.tobytes() for row in rows)
    colour_type = {1: 0, 3: 2, 4: 6}[channels]
    header = struct.pack(">IIBBBBB", image.shape[1], image.shape[0], 8, colour_type, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", header)
                     + _png_chunk(b"IDAT", zlib.compress(raw)) + _png_chunk(b"IEND", b""))
    return path
