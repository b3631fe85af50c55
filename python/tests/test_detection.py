"""detect() finds exactly the command's lines, for paths and for arrays of every accepted layout."""

import json
import shutil

import numpy
import pytest

import scenetext
from conftest import MODELS, PHOTOS, write_png


def test_the_photos_are_there():
    assert len(PHOTOS) == 3


@pytest.mark.parametrize("photo", PHOTOS, ids=lambda p: p.name)
def test_paths_and_decoded_arrays_give_the_commands_lines(photo, mode, detectors, command):
    expected = command.lines(photo, mode)
    assert expected, "each photo shows text the bundled models find"
    detector = detectors[mode]
    assert detector.detect(photo) == expected
    assert detector.detect(str(photo)) == expected
    assert detector.detect(bytes(photo)) == expected
    assert detector.detect(scenetext.read_image(photo)) == expected


def test_lines_are_the_json_output(detectors, command):
    lines = detectors["extended"].detect(PHOTOS[0])
    assert json.loads(json.dumps(lines)) == command.lines(PHOTOS[0], "extended")
    for line in lines:
        assert list(line) == ["left", "top", "right", "bottom", "score", "words"]
        assert all(type(line[key]) is int for key in ("left", "top", "right", "bottom"))
        assert 0.5 <= line["score"] <= 1
        assert line["words"], "every line has at least one word"


@pytest.mark.parametrize("photo", PHOTOS, ids=lambda p: p.name)
def test_word_granularity_gives_the_commands_word_boxes(photo, mode, detectors, command):
    lines = detectors[mode].detect(photo)
    words = detectors[mode].detect(photo, granularity="word")
    assert words == command.words(photo, mode)
    assert words == [dict(word, score=line["score"]) for line in lines for word in line["words"]]
    for word in words:
        assert list(word) == ["left", "top", "right", "bottom", "score"]


@pytest.mark.parametrize("granularity, error", [("letter", ValueError), ("Word", ValueError),
                                                (None, TypeError), (1, TypeError)])
def test_other_granularities_are_refused(granularity, error, detectors):
    with pytest.raises(error, match="granularity"):
        detectors["exact"].detect(PHOTOS[0], granularity=granularity)


def test_read_image_gives_the_pixels_of_a_lossless_file(tmp_path):
    image = scenetext.read_image(PHOTOS[1])
    assert image.dtype == numpy.uint8 and image.shape == (420, 560, 3)
    assert image.flags.c_contiguous
    again = scenetext.read_image(write_png(tmp_path / "copy.png", image))
    numpy.testing.assert_array_equal(again, image)


# Views the detector must read through their strides or copy: every one must find what the
# command finds in a file of the same pixels.
VIEWS = {
    "every other column": lambda a: a[:, ::2],
    "every other row": lambda a: a[::2],
    "a crop": lambda a: a[17:380, 9:501],
    "upside down": lambda a: a[::-1],
    "mirrored": lambda a: a[:, ::-1],
    "column order": lambda a: numpy.asfortranarray(a),
    "channels as planes": lambda a: numpy.moveaxis(numpy.ascontiguousarray(numpy.moveaxis(a, 2, 0)), 0, 2),
}


@pytest.mark.parametrize("view", VIEWS, ids=list(VIEWS))
def test_views_find_what_the_command_finds_in_their_pixels(view, mode, detectors, command, tmp_path):
    image = VIEWS[view](scenetext.read_image(PHOTOS[0]))
    assert not image.flags.c_contiguous
    path = write_png(tmp_path / "view.png", numpy.ascontiguousarray(image))
    assert detectors[mode].detect(image) == command.lines(path, mode)


def test_the_callers_array_is_left_alone(detectors):
    image = scenetext.read_image(PHOTOS[2])
    before = image.copy()
    image.setflags(write=False)
    detectors["exact"].detect(image)
    detectors["exact"].detect(image[:, ::2])
    numpy.testing.assert_array_equal(image, before)


def grey_of(image):
    weights = numpy.array([29, 150, 77], dtype=numpy.uint32)  # blue, green, red, sum 256
    return ((image.astype(numpy.uint32) @ weights) >> 8).astype(numpy.uint8)


def test_grey_arrays_and_files(mode, detectors, command, tmp_path):
    grey = grey_of(scenetext.read_image(PHOTOS[0]))
    assert grey.ndim == 2
    path = write_png(tmp_path / "grey.png", grey)
    expected = command.lines(path, mode)
    assert expected
    assert detectors[mode].detect(grey) == expected
    assert detectors[mode].detect(path) == expected


def test_bgra_arrays_and_files_ignore_alpha(mode, detectors, command, tmp_path):
    colour = scenetext.read_image(PHOTOS[2])
    rows, columns = numpy.indices(colour.shape[:2])
    alpha = ((rows + columns) % 256).astype(numpy.uint8)  # varies, so a blend would show
    bgra = numpy.dstack([colour, alpha])
    path = write_png(tmp_path / "bgra.png", bgra)
    expected = command.lines(path, mode)
    assert expected == detectors[mode].detect(colour)
    assert detectors[mode].detect(bgra) == expected
    assert detectors[mode].detect(path) == expected


def test_a_large_photo_is_searched_at_half_size_and_its_boxes_scaled_back(mode, detectors, command, tmp_path):
    # 1680 columns: over 1600, so the detector works at half size; boxes come back in input pixels.
    image = numpy.repeat(numpy.repeat(scenetext.read_image(PHOTOS[1]), 3, axis=0), 3, axis=1)
    path = write_png(tmp_path / "large.png", image)
    expected = command.lines(path, mode)
    assert expected and max(line["right"] for line in expected) > 1000
    assert detectors[mode].detect(image) == expected


def test_any_model_file(mode, command, tmp_path):
    model = shutil.copy(MODELS[mode], tmp_path / "copy of the model.txt")
    detector = scenetext.Detector(model=model, candidates=mode)
    assert detector.model == str(model) and detector.candidates == mode
    assert detector.detect(PHOTOS[2]) == command.lines(PHOTOS[2], mode, model=model)


def test_the_bundled_models_are_used_by_default():
    assert scenetext.Detector().candidates == "extended"
    assert scenetext.Detector().model.endswith("extended.model")
    exact = scenetext.Detector(candidates="exact").model
    assert open(exact, "rb").read() == MODELS["exact"].read_bytes()


def test_a_photo_without_text_gives_no_lines(detectors):
    assert detectors["exact"].detect(numpy.full((120, 160, 3), 128, numpy.uint8)) == []
