# Shared by the scripts: install the Debian packages the build needs, and build.
# Sourced, not run.

SCENETEXT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Packages the build and the tests need. libopencv-contrib-dev brings the freetype module that
# the synthetic-data tool draws text with; fonts-dejavu-core gives its tests a font;
# libjpeg-dev and libpng-dev read and write photos without OpenCV's imgcodecs; nlohmann-json3-dev
# writes the JSON outputs; parallel (GNU parallel) runs the scale-out recipe that the tests check;
# pybind11-dev and python3-dev build the Python package for Debian's python3, python3-numpy and
# python3-pytest run its tests, python3-distributed (Dask) runs scenetext.dask and its test
# cluster; clang-format checks the layout of the sources.
SCENETEXT_PACKAGES=(
  build-essential cmake pkg-config
  libopencv-dev libopencv-contrib-dev
  libjpeg-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  fonts-dejavu-core parallel ccache clang-format
  pybind11-dev python3-dev python3-numpy python3-pytest python3-distributed
)

# Installs whatever of the given packages is missing (as root, apt-get update first).
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "scenetext: installing ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >&2
}

# build_project DIR [cmake options...] [-- TARGET...]: configures DIR and builds everything in it,
# or only the given targets.
build_project() {
  local dir="$1"
  shift
  local options=() targets=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    options+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift
  targets=("$@")
  cmake -S "$SCENETEXT_ROOT" -B "$dir" "${options[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"
  else
    cmake --build "$dir" -j"$(nproc)"
  fi
}
