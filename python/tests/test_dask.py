"""python3 -m scenetext.dask on a Dask cluster of two worker processes on this machine: the JSON
lines it writes are scenetext-batch --jsonl's, byte for byte, and a stopped run leaves whole
lines. The cluster listens on 127.0.0.1 only, on ports the system picks, and lives in a child
process that this module starts and stops."""

import json
import os
import select
import shutil
import signal
import subprocess
import sys
import time

import pytest
from conftest import BINARY_DIR, MODELS, PHOTOS, SOURCE_DIR

BATCH = BINARY_DIR / "scenetext-batch"
# Each bounded step's limit, in seconds: far above what it takes on a loaded 2-core machine.
STARTUP, RUN = 90, 120

# The workers and the command import the package being tested, wherever they start.
ENV = {**os.environ, "PYTHONPATH": str(BINARY_DIR / "python")}

# The cluster prints its address, then lives until its standard input closes. Its HTTP servers
# (status pages) are given 127.0.0.1 too: without an address, the workers' listen on every
# interface, and the scheduler's on port 8787 when that is free.
CLUSTER = """
import sys, distributed
if __name__ == "__main__":
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  host="127.0.0.1", scheduler_port=0,
                                  dashboard_address=None,
                                  scheduler_kwargs={"dashboard_address": "127.0.0.1:0"},
                                  worker_dashboard_address="127.0.0.1:0") as cluster:
        print(cluster.scheduler_address, flush=True)
        sys.stdin.read()
"""


@pytest.fixture(scope="module")
def scheduler():
    cluster = subprocess.Popen([sys.executable, "-c", CLUSTER], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, text=True, env=ENV)
    try:
        readable, _, _ = select.select([cluster.stdout], [], [], STARTUP)
        address = cluster.stdout.readline().strip() if readable else ""
        assert address.startswith("tcp://127.0.0.1:"), f"no cluster after {STARTUP} s: {address!r}"
        yield address
    finally:
        cluster.stdin.close()
        try:
            cluster.wait(timeout=30)
        except subprocess.TimeoutExpired:
            cluster.kill()
            cluster.wait()


def run_dask(scheduler, images, out, *options, cwd=None, stdin=None):
    return subprocess.run([sys.executable, "-m", "scenetext.dask", scheduler, str(images), str(out),
                           *options], input=stdin, capture_output=True, text=True,
                          errors="replace", timeout=RUN, cwd=cwd, env=ENV)


def run_batch(model, images, out, prefix, *options, cwd=None):
    source = ["--files-from", str(images)] if images.is_file() else [str(images)]
    return subprocess.run([str(BATCH), "--jsonl", str(out), *options, str(model), *source,
                           f"{prefix}/"], capture_output=True, text=True, errors="replace",
                          timeout=RUN, cwd=cwd)


@pytest.fixture
def photos(tmp_path):
    """The example photos and a file that is not an image, in one folder."""
    folder = tmp_path / "photos"
    folder.mkdir()
    for photo in PHOTOS:
        shutil.copy(photo, folder)
    (folder / "broken.jpg").write_bytes(b"not a JPEG")
    return folder


def test_a_folder_gives_the_batch_lines_and_status(scheduler, photos, tmp_path):
    # Names that are not UTF-8, of a photo and of a broken file: the JSON replaces the bad byte,
    # and the failure's message must still reach stderr.
    shutil.copy(PHOTOS[0], os.fsencode(photos) + b"/\xffphoto.jpg")
    with open(os.fsencode(photos) + b"/\xfebroken.png", "wb") as broken:
        broken.write(b"not a PNG")
    (tmp_path / "out").mkdir()
    batch = run_batch(MODELS["exact"], photos, tmp_path / "batch.jsonl", tmp_path / "out")
    dask = run_dask(scheduler, photos, tmp_path / "dask.jsonl", "--model", MODELS["exact"])
    assert batch.returncode == 1, batch.stderr
    assert dask.returncode == 1, dask.stderr
    expected = (tmp_path / "batch.jsonl").read_bytes()
    assert expected.count(b"\n") == len(PHOTOS) + 3
    assert (tmp_path / "dask.jsonl").read_bytes() == expected
    assert f"scenetext.dask: cannot read image '{photos / 'broken.jpg'}'" in dask.stderr
    assert "broken.png': not a readable image" in dask.stderr
    assert f"processed {len(PHOTOS) + 1} of {len(PHOTOS) + 3} images, 2 failed" in dask.stdout


def test_a_list_of_relative_paths_with_options_gives_the_batch_lines(scheduler, photos, tmp_path):
    # Relative paths are the run's, not the workers' (which started elsewhere): the lines name
    # them as written, and a missing file fails with the batch's message.
    listed = ["photos/" + PHOTOS[-1].name, "", "photos/broken.jpg\r", "photos/missing.png",
              "photos/" + PHOTOS[0].name]
    (tmp_path / "list.txt").write_text("\n".join(listed) + "\n")
    shutil.copy(MODELS["extended"], tmp_path / "model.txt")
    (tmp_path / "out").mkdir()
    options = ["--candidates", "extended", "--min-score", "0.8"]
    batch = run_batch("model.txt", tmp_path / "list.txt", "batch.jsonl", "out", *options,
                      cwd=tmp_path)
    dask = run_dask(scheduler, "list.txt", "dask.jsonl", "--model", "model.txt", *options,
                    cwd=tmp_path)
    assert batch.returncode == dask.returncode == 1, dask.stderr
    expected = (tmp_path / "batch.jsonl").read_bytes()
    assert [json.loads(line)["image"] for line in expected.splitlines()] == [
        "photos/" + PHOTOS[-1].name, "photos/broken.jpg", "photos/missing.png",
        "photos/" + PHOTOS[0].name]
    assert (tmp_path / "dask.jsonl").read_bytes() == expected
    piped = run_dask(scheduler, "-", "piped.jsonl", "--model", "model.txt", *options,
                     cwd=tmp_path, stdin=(tmp_path / "list.txt").read_text())
    assert piped.returncode == 1, piped.stderr
    assert (tmp_path / "piped.jsonl").read_bytes() == expected


def test_every_image_read_exits_0_with_the_bundled_model(scheduler, tmp_path):
    import scenetext
    folder = tmp_path / "photos"
    folder.mkdir()
    shutil.copy(PHOTOS[0], folder)
    bundled = os.path.join(os.path.dirname(scenetext.__file__), "models", "default.model")
    (tmp_path / "out").mkdir()
    batch = run_batch(bundled, folder, tmp_path / "batch.jsonl", tmp_path / "out")
    dask = run_dask(scheduler, folder, tmp_path / "dask.jsonl")
    assert batch.returncode == dask.returncode == 0, dask.stderr
    assert (tmp_path / "dask.jsonl").read_bytes() == (tmp_path / "batch.jsonl").read_bytes()


@pytest.mark.parametrize("arguments, status, message", [
    (["--model", "missing.model"], 1, "scenetext.dask: cannot read model 'missing.model'"),
    (["--min-score", "1.5"], 2, "--min-score: 1.5 is not in [0, 1]"),
    (["--candidates", "wide"], 2, "invalid choice: 'wide'"),
])
def test_bad_arguments_write_nothing(scheduler, tmp_path, arguments, status, message):
    done = run_dask(scheduler, SOURCE_DIR / "docs", tmp_path / "out.jsonl", *arguments)
    assert done.returncode == status, done.stderr
    assert message in done.stderr
    assert not (tmp_path / "out.jsonl").exists()


def test_a_missing_folder_and_an_unwritable_output_fail(scheduler, tmp_path):
    done = run_dask(scheduler, tmp_path / "nothing", tmp_path / "out.jsonl")
    assert done.returncode == 1
    assert f"'{tmp_path / 'nothing'}'" in done.stderr
    done = run_dask(scheduler, SOURCE_DIR / "docs", tmp_path / "no" / "out.jsonl")
    assert done.returncode == 1
    assert f"cannot write '{tmp_path / 'no' / 'out.jsonl'}'" in done.stderr


def test_ctrl_c_leaves_only_whole_lines_in_order(scheduler, tmp_path):
    folder = tmp_path / "many"
    folder.mkdir()
    names = [f"photo{i:03}.jpg" for i in range(300)]
    for i, name in enumerate(names):
        (folder / name).symlink_to(PHOTOS[i % len(PHOTOS)])
    out = tmp_path / "out.jsonl"
    run = subprocess.Popen([sys.executable, "-m", "scenetext.dask", scheduler, str(folder),
                            str(out)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                           env=ENV)
    deadline = time.monotonic() + RUN
    while not (out.exists() and out.stat().st_size > 0) and time.monotonic() < deadline:
        assert run.poll() is None, run.communicate()
        time.sleep(0.05)
    run.send_signal(signal.SIGINT)
    _, stderr = run.communicate(timeout=RUN)
    assert run.returncode == 130, stderr
    assert "interrupted" in stderr
    written = out.read_bytes()
    assert written.endswith(b"\n")
    lines = written.splitlines()
    assert 0 < len(lines) < len(names)
    assert [json.loads(line)["image"] for line in lines] == [
        str(folder / name) for name in names[:len(lines)]]
