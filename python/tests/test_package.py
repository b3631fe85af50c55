"""The package as users meet it: its version, its documentation, and an install elsewhere."""

import json
import os
import pathlib
import re
import subprocess
import sys

import scenetext
from conftest import BINARY_DIR, PHOTOS, SOURCE_DIR


def test_the_version_is_the_projects():
    declared = re.search(r"project\(scenetext VERSION ([0-9.]+)",
                         (SOURCE_DIR / "CMakeLists.txt").read_text()).group(1)
    assert scenetext.__version__ == declared


def test_help_explains_the_api():
    for documented in (scenetext, scenetext.Detector, scenetext.Detector.detect, scenetext.read_image):
        assert documented.__doc__ and len(documented.__doc__) > 100
    assert "FileNotFoundError" in scenetext.Detector.detect.__doc__
    package = pathlib.Path(scenetext.__file__).parent
    assert (package / "__init__.pyi").is_file() and (package / "py.typed").is_file()


def test_an_installed_copy_imports_and_detects_from_anywhere(tmp_path):
    cmake = os.environ.get("CMAKE_COMMAND", "cmake")
    prefix = tmp_path / "prefix"
    done = subprocess.run([cmake, "--install", str(BINARY_DIR), "--component", "python",
                           "--prefix", str(prefix)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    site = prefix / os.environ.get("SCENETEXT_PYTHON_INSTALL_DIR",
                                   f"lib/python3.{sys.version_info.minor}/dist-packages")
    installed = sorted(str(p.relative_to(site)) for p in site.rglob("*") if p.is_file())
    assert [p for p in installed if not p.startswith("scenetext/_scenetext")] == [
        "scenetext/__init__.py", "scenetext/__init__.pyi", "scenetext/dask.py",
        "scenetext/libscenetext_opencv_codecs.so",
        "scenetext/models/default.model",
        "scenetext/models/extended.model", "scenetext/py.typed"]
    script = ("import json, sys, scenetext\n"
              "print(json.dumps([scenetext.__file__, scenetext.__version__,"
              " scenetext.Detector().detect(sys.argv[1])]))\n")
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    environment["PYTHONPATH"] = str(site)
    run = subprocess.run([sys.executable, "-c", script, str(PHOTOS[0])], cwd=tmp_path,
                         env=environment, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    where, version, lines = json.loads(run.stdout)
    assert where == str(site / "scenetext" / "__init__.py")
    assert version == scenetext.__version__
    assert lines == scenetext.Detector().detect(PHOTOS[0])
