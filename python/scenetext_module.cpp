// scenetext._scenetext: the public C++ API for Python, on NumPy arrays and paths. The interpreter
// lock is released while a photo is decoded and searched, so threads sharing one Detector run in
// parallel. Choosing the bundled model, checking the files and Python's exception types are the
// business of scenetext/__init__.py.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "scenetext/scenetext.hpp"

namespace py = pybind11;

namespace scenetext::python {
namespace {

constexpr const char* kExpected = "a uint8 array of shape (H, W), (H, W, 3) or (H, W, 4)";

std::string shapeText(const py::array& image) {
  std::string text = "(";
  for (py::ssize_t axis = 0; axis < image.ndim(); ++axis) {
    if (axis > 0) text += ", ";
    text += std::to_string(image.shape(axis));
  }
  return text + (image.ndim() == 1 ? ",)" : ")");
}

// The channel count of an array the detector takes; throws TypeError or ValueError otherwise.
int checkedChannels(const py::handle& object) {
  if (!py::isinstance<py::array>(object)) {
    throw py::type_error(std::string("expected ") + kExpected + " or a path, got " +
                         std::string(py::str(object.get_type().attr("__name__"))));
  }
  const auto image = py::reinterpret_borrow<py::array>(object);
  if (image.dtype().kind() != 'u' || image.itemsize() != 1) {
    throw py::type_error(std::string("expected ") + kExpected + ", got dtype " +
                         std::string(py::str(image.dtype())));
  }
  const bool grey = image.ndim() == 2;
  const bool colour = image.ndim() == 3 && (image.shape(2) == 3 || image.shape(2) == 4);
  if (!grey && !colour) {
    throw py::value_error(std::string("expected ") + kExpected + ", got shape " +
                          shapeText(image));
  }
  if (image.shape(0) == 0 || image.shape(1) == 0) {
    throw py::value_error("cannot detect text in an empty image of shape " + shapeText(image));
  }
  // OpenCV counts rows and columns in int; the library refuses anything near that as too large.
  if (image.shape(0) > std::numeric_limits<int>::max() ||
      image.shape(1) > std::numeric_limits<int>::max()) {
    throw Error("cannot detect text in an image of shape " + shapeText(image) +
                ": over the pixel limit");
  }
  return grey ? 1 : static_cast<int>(image.shape(2));
}

// Rows whose pixels lie side by side can be read through a row stride, as OpenCV reads a crop.
bool rowsContiguous(const py::array& image, int channels) {
  if (image.flags() & py::array::c_style) return true;
  const bool pixels = image.ndim() == 2 || image.strides(2) == 1;
  return pixels && image.strides(1) == channels && image.strides(0) >= image.shape(1) * channels;
}

// A header over the array's pixels (no copy). `image` must outlive it.
cv::Mat pixelHeader(const py::array& image, int channels) {
  const size_t step = (image.flags() & py::array::c_style) ? size_t{cv::Mat::AUTO_STEP}
                                                           : static_cast<size_t>(image.strides(0));
  return cv::Mat(static_cast<int>(image.shape(0)), static_cast<int>(image.shape(1)),
                 CV_8UC(channels), const_cast<void*>(image.data()), step);
}

py::list lineDicts(const std::vector<TextLine>& lines) {
  py::list dicts;
  for (const TextLine& line : lines) {
    py::dict entry;
    entry["left"] = line.left;
    entry["top"] = line.top;
    entry["right"] = line.right;
    entry["bottom"] = line.bottom;
    entry["score"] = line.score;
    py::list words;
    for (const WordBox& word : line.words) {
      py::dict box;
      box["left"] = word.left;
      box["top"] = word.top;
      box["right"] = word.right;
      box["bottom"] = word.bottom;
      words.append(std::move(box));
    }
    entry["words"] = std::move(words);
    dicts.append(std::move(entry));
  }
  return dicts;
}

py::list detectArray(const Detector& detector, const py::handle& object) {
  const int channels = checkedChannels(object);
  auto image = py::reinterpret_borrow<py::array>(object);
  // One copy, in row order, for any other layout (a slice with a step, a transposed view).
  if (!rowsContiguous(image, channels)) {
    image = py::array_t<std::uint8_t, py::array::c_style>::ensure(image);
    if (!image) throw py::error_already_set();
  }
  const cv::Mat pixels = pixelHeader(image, channels);
  std::vector<TextLine> lines;
  {
    py::gil_scoped_release unlocked;
    lines = detector.detect(pixels);
  }
  return lineDicts(lines);
}

py::list detectFile(const Detector& detector, const std::string& path) {
  std::vector<TextLine> lines;
  {
    py::gil_scoped_release unlocked;
    lines = detector.detect(readImage(path));
  }
  return lineDicts(lines);
}

// The decoded image as a (H, W, 3) array that owns the pixels.
py::array decodedImage(const std::string& path) {
  cv::Mat image;
  {
    py::gil_scoped_release unlocked;
    image = readImage(path);
  }
  auto* owned = new cv::Mat(std::move(image));
  py::capsule release(owned, [](void* mat) { delete static_cast<cv::Mat*>(mat); });
  return py::array(py::dtype::of<std::uint8_t>(),
                   {static_cast<py::ssize_t>(owned->rows), static_cast<py::ssize_t>(owned->cols),
                    static_cast<py::ssize_t>(3)},
                   {static_cast<py::ssize_t>(owned->step[0]), static_cast<py::ssize_t>(3),
                    static_cast<py::ssize_t>(1)},
                   owned->data, release);
}

}  // namespace
}  // namespace scenetext::python

PYBIND11_MODULE(_scenetext, module) {
  using namespace scenetext;
  using namespace scenetext::python;
  module.doc() = "Native half of the scenetext package; use the scenetext module instead.";
  module.attr("__version__") = SCENETEXT_VERSION;
  py::register_exception<Error>(module, "NativeError", PyExc_ValueError);

  py::class_<Detector>(module, "Detector")
      .def(py::init([](const std::string& modelPath, bool extended) {
             return Detector::load(modelPath,
                                   extended ? Candidates::kExtended : Candidates::kExact);
           }),
           py::arg("model_path"), py::arg("extended"))
      .def("detect_array", &detectArray, py::arg("image"))
      .def("detect_file", &detectFile, py::arg("path"));
  module.def("read_image", &decodedImage, py::arg("path"));
}
