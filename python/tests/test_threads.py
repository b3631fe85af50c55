"""One Detector shared by threads gives every thread the lines one thread gets."""

import concurrent.futures

import scenetext
from conftest import PHOTOS


def test_threads_sharing_a_detector_agree_with_one_thread():
    detector = scenetext.Detector()
    images = [scenetext.read_image(photo) for photo in PHOTOS]
    work = (images + [image[:, ::2] for image in images] + list(PHOTOS)) * 2
    alone = [detector.detect(item) for item in work]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        shared = list(pool.map(detector.detect, work))
    assert shared == alone
    assert all(alone[:3])
