"""Detection of text lines in photographs of natural scenes.

    import scenetext
    detector = scenetext.Detector()                  # the bundled model, extended candidates
    lines = detector.detect("photo.jpg")             # or a NumPy uint8 BGR, grey or BGRA array
    for line in lines:
        print(line["left"], line["top"], line["right"], line["bottom"], line["score"])

Each line is a dict with the fields of the command's JSON output, so json.dumps(lines) is JSON.
Coordinates are inclusive pixels of the image given: a line covers columns left..right and rows
top..bottom. A Detector may be shared by threads: detection releases the interpreter lock.
"""

import os as _os

from . import _scenetext
from ._scenetext import __version__

__all__ = ["Detector", "Error", "ModelError", "ImageError", "read_image", "__version__"]

_MODELS = _os.path.join(_os.path.dirname(_os.path.abspath(__file__)), "models")
_BUNDLED = {"exact": "default.model", "extended": "extended.model"}


class Error(Exception):
    """Base class of the errors scenetext raises for a model or an image it cannot use."""


class ModelError(Error, ValueError):
    """A model file that is not a valid stump-cascade model; the message names the file and line."""


class ImageError(Error, ValueError):
    """An image that cannot be decoded or is too large; the message names the file or the size."""


def _readable(path, what):
    """Raises the built-in OSError subclass (FileNotFoundError, PermissionError, ...) for a file
    that cannot be opened, naming the file and what it was meant to be."""
    try:
        with open(path, "rb"):
            pass
    except OSError as error:
        raise type(error)(error.errno, f"cannot read {what}: {error.strerror}",
                          _os.fsdecode(path)) from None


def _is_path(image):
    return isinstance(image, (str, bytes, _os.PathLike))


class Detector:
    """Finds the text lines of photographs with one stump-cascade model.

    Detector(model=None, candidates="extended")

    model: path of a model file (str, bytes or os.PathLike), or None for the model bundled with the
        package for that candidate stage.
    candidates: "extended" (the default: also half- and quarter-size edges, letters with holes,
        wider letter spacing) or "exact" (the detector's own candidate stage, bit for bit the
        command's default).

    Raises FileNotFoundError (or another OSError) when the model cannot be opened, ModelError (a
    ValueError) when it is malformed, TypeError or ValueError for a bad candidates value.
    A Detector is immutable and safe to share between threads.
    """

    __slots__ = ("_model", "_candidates", "_native")

    def __init__(self, model=None, candidates="extended"):
        if not isinstance(candidates, str):
            raise TypeError(f"candidates must be 'exact' or 'extended', not {type(candidates).__name__}")
        if candidates not in _BUNDLED:
            raise ValueError(f"candidates must be 'exact' or 'extended', not {candidates!r}")
        path = _os.path.join(_MODELS, _BUNDLED[candidates]) if model is None else _os.fspath(model)
        _readable(path, "model")
        try:
            self._native = _scenetext.Detector(_os.fsencode(path), candidates == "extended")
        except _scenetext.NativeError as error:
            raise ModelError(str(error)) from None
        self._model = path
        self._candidates = candidates

    @property
    def model(self):
        """Path of the model file in use."""
        return self._model

    @property
    def candidates(self):
        """The candidate stage: "exact" or "extended"."""
        return self._candidates

    def detect(self, image, granularity="line"):
        """The text lines (or words) of one image, in the order of the command's box list.

        image: a NumPy uint8 array of shape (H, W, 3) in blue, green, red order (as cv2 holds
            images), (H, W) grey or (H, W, 4) BGRA (alpha ignored); or the path of an image file,
            decoded exactly as the scenetext command decodes it. Arrays are read in place when
            their rows are contiguous and copied once otherwise; another thread must not write
            to the array during the call.

        granularity: "line" (the default) or "word", as the command's --granularity.

        Returns a list of dicts {"left", "top", "right", "bottom", "score", "words"}: inclusive
        pixel coordinates of the image given, a score in [0.5, 1] and the line's words, left to
        right, as dicts {"left", "top", "right", "bottom"}; [] when there is no text. With
        granularity="word", one dict {"left", "top", "right", "bottom", "score"} per word instead,
        lines in order, each word with its line's score: the boxes of `scenetext --granularity
        word --scores`.

        Raises TypeError for an object that is neither an array nor a path or for another dtype
        (or a granularity that is not a str), ValueError for another granularity,
        ValueError for another shape or an empty array, FileNotFoundError (or another OSError) for
        a file that cannot be opened, and ImageError (a ValueError) for a file that does not
        decode or an image over 200 million pixels. The interpreter lock is released while the
        image is decoded and searched.
        """
        if not isinstance(granularity, str):
            raise TypeError(f"granularity must be 'line' or 'word', not {type(granularity).__name__}")
        if granularity not in ("line", "word"):
            raise ValueError(f"granularity must be 'line' or 'word', not {granularity!r}")
        try:
            if _is_path(image):
                _readable(image, "image")
                lines = self._native.detect_file(_os.fsencode(image))
            else:
                lines = self._native.detect_array(image)
        except _scenetext.NativeError as error:
            raise ImageError(str(error)) from None
        if granularity == "line":
            return lines
        return [dict(word, score=line["score"]) for line in lines for word in line["words"]]

    def __repr__(self):
        return f"scenetext.Detector(model={self._model!r}, candidates={self._candidates!r})"


def read_image(path):
    """The image file at `path` decoded exactly as the scenetext command decodes it: a uint8 array
    of shape (H, W, 3) in blue, green, red order, the pixels as stored (no EXIF rotation).

    Raises FileNotFoundError (or another OSError) for a file that cannot be opened and ImageError
    (a ValueError) for one that does not decode or is over 200 million pixels.
    """
    _readable(path, "image")
    try:
        return _scenetext.read_image(_os.fsencode(path))
    except _scenetext.NativeError as error:
        raise ImageError(str(error)) from None
