"""Bad models, images and arguments raise built-in exception types (or subclasses) whose message
names the file or what was expected; nothing crashes and nothing passes as an empty result."""

import os

import numpy
import pytest

import scenetext
from conftest import MODELS, PHOTOS


@pytest.fixture(scope="module")
def detector():
    return scenetext.Detector(candidates="exact")


def test_a_missing_model(tmp_path):
    missing = tmp_path / "missing.model"
    with pytest.raises(FileNotFoundError, match="cannot read model") as raised:
        scenetext.Detector(model=missing)
    assert str(missing) in str(raised.value)
    assert raised.value.filename == str(missing)


def test_a_folder_as_model(tmp_path):
    with pytest.raises(IsADirectoryError, match=str(tmp_path)):
        scenetext.Detector(model=tmp_path)


MALFORMED = {
    "empty": "",
    "a feature index out of range": "stage 1\n1, 7, 1, 0.5\n",
    "not a model": "hello\n",
    "a truncated stage": MODELS["exact"].read_text()[:5000],
}


@pytest.mark.parametrize("content", MALFORMED.values(), ids=list(MALFORMED))
def test_a_malformed_model(content, tmp_path):
    path = tmp_path / "broken.model"
    path.write_text(content)
    with pytest.raises(scenetext.ModelError, match="broken.model") as raised:
        scenetext.Detector(model=path)
    assert isinstance(raised.value, ValueError) and isinstance(raised.value, scenetext.Error)


@pytest.mark.parametrize("candidates, kind", [("fast", ValueError), ("", ValueError),
                                              (None, TypeError), (1, TypeError)])
def test_candidates_other_than_exact_or_extended(candidates, kind):
    with pytest.raises(kind, match="'exact' or 'extended'"):
        scenetext.Detector(candidates=candidates)


def test_a_model_that_is_not_a_path():
    with pytest.raises(TypeError):
        scenetext.Detector(model=3)


@pytest.mark.parametrize("image", [
    numpy.zeros((40, 50, 3), numpy.float32),
    numpy.zeros((40, 50, 3), numpy.int8),
    numpy.zeros((40, 50, 3), numpy.uint16),
    numpy.zeros((40, 50), bool),
], ids=lambda a: str(a.dtype))
def test_another_dtype(image, detector):
    with pytest.raises(TypeError, match=f"uint8 array.*got dtype {image.dtype}"):
        detector.detect(image)


@pytest.mark.parametrize("shape", [(50,), (40, 50, 2), (40, 50, 1), (40, 50, 5), (2, 40, 50, 3), ()])
def test_another_shape(shape, detector):
    with pytest.raises(ValueError, match=r"\(H, W\), \(H, W, 3\) or \(H, W, 4\), got shape"):
        detector.detect(numpy.zeros(shape, numpy.uint8))


@pytest.mark.parametrize("shape", [(0, 50, 3), (40, 0), (0, 0, 4)])
def test_an_empty_array(shape, detector):
    with pytest.raises(ValueError, match="empty image"):
        detector.detect(numpy.zeros(shape, numpy.uint8))


@pytest.mark.parametrize("image", [None, 3, [[1, 2], [3, 4]], memoryview(b"abcd")],
                         ids=["None", "int", "list", "memoryview"])
def test_neither_an_array_nor_a_path(image, detector):
    with pytest.raises(TypeError, match="or a path, got"):
        detector.detect(image)


def test_an_array_over_the_pixel_limit(detector):
    # Zeros are mapped lazily: the size is refused before a pixel is read.
    huge = numpy.zeros((20000, 10001), numpy.uint8)
    with pytest.raises(scenetext.ImageError, match="10001x20000 pixels exceed the limit"):
        detector.detect(huge)


def test_an_array_too_long_for_opencv(detector):
    # Broadcast from one pixel: refused before any copy would be made.
    huge = numpy.broadcast_to(numpy.zeros((1, 1), numpy.uint8), (2**31, 2))
    with pytest.raises(scenetext.ImageError, match=r"shape \(2147483648, 2\): over the pixel limit"):
        detector.detect(huge)


def test_a_missing_image(tmp_path, detector):
    missing = tmp_path / "missing.jpg"
    with pytest.raises(FileNotFoundError, match="cannot read image") as raised:
        detector.detect(missing)
    assert str(missing) in str(raised.value)
    with pytest.raises(FileNotFoundError, match=str(missing)):
        scenetext.read_image(missing)


def test_an_unreadable_image(tmp_path, detector):
    if os.geteuid() == 0:
        pytest.skip("root reads any file")
    path = tmp_path / "locked.jpg"
    path.write_bytes(PHOTOS[0].read_bytes())
    path.chmod(0)
    with pytest.raises(PermissionError, match=str(path)):
        detector.detect(path)


@pytest.mark.parametrize("content, problem", [
    (b"", "not a readable image"),
    (b"this is text, not an image\n", "not a readable image"),
    (PHOTOS[0].read_bytes()[:600], "not a readable image"),
    (b"P5\n30000 30000\n255\n", "exceed the limit"),
], ids=["empty", "text", "truncated jpeg", "huge header"])
def test_a_file_that_does_not_decode(content, problem, tmp_path, detector):
    path = tmp_path / "bad image.pgm"
    path.write_bytes(content)
    for call in (detector.detect, scenetext.read_image):
        with pytest.raises(scenetext.ImageError, match=problem) as raised:
            call(path)
        assert f"cannot read image '{path}'" in str(raised.value)
        assert isinstance(raised.value, ValueError)


def test_a_failure_leaves_the_detector_usable(detector):
    with pytest.raises(TypeError):
        detector.detect(numpy.zeros((4, 4), numpy.float64))
    assert detector.detect(PHOTOS[0])
