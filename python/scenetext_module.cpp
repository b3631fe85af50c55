// scenetext._scenetext: the public C++ API for Python, on NumPy arrays and paths. The interpreter
// lock is released while a photo is decoded and searched, so threads sharing one Detector run in
// parallel. Choosing the bundled model, checking the files and Python's exception types are the
// business of scenetext/__init__.py. The batch half (image lists and JSON lines) serves
// scenetext.dask, whose workers must write exactly what scenetext-batch --jsonl writes.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "batch/image_list.hpp"
#include "driver/json_output.hpp"
#include "driver/run.hpp"
#include "io/path_list.hpp"
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
    throw py::value_error(std::string("expected ") + kExpected + ", got shape " + shapeText(image));
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

// The batch's image list as Python bytes; a folder or list that cannot be read raises Error.
py::list pathList(const Result<std::vector<std::string>>& paths) {
  if (!paths.ok()) throw Error(paths.status().message());
  py::list list;
  for (const std::string& path : *paths) list.append(py::bytes(path));
  return list;
}

py::list folderImages(const std::string& folder) {
  return pathList([&] {
    py::gil_scoped_release unlocked;
    return batch::listImages(folder);
  }());
}

py::list parsedImages(const std::string& text) { return pathList(io::parsePathList(text)); }

py::list listedImages(const std::string& listPath) {
  return pathList([&] {
    py::gil_scoped_release unlocked;
    // "-" would mean the batch's standard input; the caller reads that one itself.
    std::istringstream none;
    return io::readPathList(listPath, none);
  }());
}

// What scenetext-batch --jsonl writes for each image, without the annotated image and box list.
struct JsonLines {
  classifier::StumpCascade model;
  regions::CandidateMode mode;
  std::string modelName;  // named in every object, as given to the batch
  double minScore;
};

std::shared_ptr<JsonLines> loadJsonLines(const std::string& modelPath, bool extended,
                                         const std::string& modelName, double minScore) {
  Result<classifier::StumpCascade> model = driver::loadModel(modelPath);
  if (!model.ok()) throw Error(model.status().message());
  return std::make_shared<JsonLines>(
      JsonLines{std::move(model).value(),
                extended ? regions::CandidateMode::kExtended : regions::CandidateMode::kExact,
                modelName, minScore});
}

driver::ImageReport reportOf(const JsonLines& settings, const std::string& image,
                             const std::string& readPath, std::string& failure) {
  Result<cv::Mat> loaded = driver::loadColourImage(readPath);
  if (!loaded.ok()) {
    // The image is named as given, as the batch names it, whichever path reached the file.
    const std::string message = loaded.status().message();
    const std::string named = "cannot read image '" + readPath + "'";
    failure = message.rfind(named, 0) == 0
                  ? "cannot read image '" + image + "'" + message.substr(named.size())
                  : message;
    return {};
  }
  const driver::WorkingInput input = driver::prepareWorkingInput(std::move(loaded).value());
  const driver::Detection detection = driver::keepLinesScoring(
      driver::detectText(input.working, settings.model, {}, settings.mode), settings.minScore);
  return {image,         input.input.cols,   input.input.rows,
          settings.mode, settings.modelName, driver::inputLines(detection, input.factor)};
}

// The image's JSON line, and the batch's message when it failed (None otherwise). `image` is the
// path as given, `readPath` the one that reaches it from here.
py::tuple jsonLine(const JsonLines& settings, const std::string& image,
                   const std::string& readPath) {
  std::string line;
  std::string failure;
  {
    py::gil_scoped_release unlocked;
    try {
      driver::ImageReport report = reportOf(settings, image, readPath, failure);
      if (failure.empty()) line = driver::formatJsonReport(report);
    } catch (const cv::Exception& error) {
      failure = "'" + image + "': image library error: " + error.msg;
    } catch (const std::exception& error) {
      failure = "'" + image + "': " + error.what();
    }
    if (!failure.empty()) line = driver::formatJsonError(image, failure);
  }
  // Bytes, as the batch writes them: a message names the path, which need not be UTF-8.
  return py::make_tuple(py::bytes(line),
                        failure.empty() ? py::object(py::none()) : py::bytes(failure));
}

// Lets the C library keep the memory of freed images for the next photo. Dask's worker processes
// start with MALLOC_TRIM_THRESHOLD_=65536, which also pins glibc's mmap threshold at 128 KiB, so
// every working image was mapped, faulted in page by page and unmapped again: over the ICDAR
// photos that tripled the kernel time of a detection. Returns False where this does not apply.
bool reuseFreedMemory() {
#if defined(__GLIBC__)
  constexpr int kMapAbove = 32 << 20;     // glibc's largest mmap threshold on 64-bit systems
  constexpr int kReturnAbove = 64 << 20;  // what a worker may keep unused at the top of its heap
  return mallopt(M_MMAP_THRESHOLD, kMapAbove) == 1 && mallopt(M_TRIM_THRESHOLD, kReturnAbove) == 1;
#else
  return false;
#endif
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

  module.def("folder_images", &folderImages, py::arg("folder"));
  // A process whose own threads each detect a photo, as a Dask worker's do, gains nothing from
  // OpenCV's threads inside each call; scenetext-batch turns them off the same way.
  module.def(
      "set_opencv_threads", [](int count) { cv::setNumThreads(count); }, py::arg("count"));
  module.def("reuse_freed_memory", &reuseFreedMemory);
  module.def("listed_images", &listedImages, py::arg("list_path"));
  module.def("parsed_images", &parsedImages, py::arg("text"));
  py::class_<JsonLines, std::shared_ptr<JsonLines>>(module, "JsonLines")
      .def(py::init(&loadJsonLines), py::arg("model_path"), py::arg("extended"),
           py::arg("model_name"), py::arg("min_score"))
      .def("line", &jsonLine, py::arg("image"), py::arg("read_path"));
}
