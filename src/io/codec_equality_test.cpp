// The JPEG and PNG codecs against OpenCV's own, byte for byte: every file of a corpus of real and
// crafted images reads to the same pixels as cv::imread (same size, same bytes, or empty for both),
// and every image writes to the same bytes as cv::imencode.

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <png.h>

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "common/test_support.hpp"
#include "io/image_input.hpp"
#include "io/image_output.hpp"

namespace scenetext::io {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;

constexpr int kAsStored = cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION;

// Noise over a gradient: every byte value, runs and edges for the filters and the quantiser.
cv::Mat texture(int rows, int cols, int type, unsigned seed) {
  cv::Mat image(rows, cols, type);
  std::mt19937 random(seed);
  const int depthMax = CV_MAT_DEPTH(type) == CV_16U ? 65535 : 255;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < cols * image.channels(); ++x) {
      const int value =
          (x * 7 + y * 3) % 256 * (depthMax / 255) + static_cast<int>(random() % 32) - 16;
      const int clamped = std::clamp(value, 0, depthMax);
      if (CV_MAT_DEPTH(type) == CV_16U) {
        image.ptr<uint16_t>(y)[x] = static_cast<uint16_t>(clamped);
      } else {
        image.ptr<uchar>(y)[x] = static_cast<uchar>(clamped);
      }
    }
  }
  return image;
}

std::string encodeWithOpenCv(const std::string& extension, const cv::Mat& image,
                             const std::vector<int>& parameters = {}) {
  std::vector<uchar> bytes;
  EXPECT_TRUE(cv::imencode(extension, image, bytes, parameters)) << extension;
  return std::string(bytes.begin(), bytes.end());
}

// --- Files libjpeg and libpng write with options OpenCV's writers never use.
struct JpegOptions {
  J_COLOR_SPACE input = JCS_RGB;  // JCS_GRAYSCALE, JCS_RGB or JCS_CMYK samples
  J_COLOR_SPACE stored = JCS_YCbCr;
  bool progressive = false;
  int restartRows = 0;
  bool keepHuffmanTables = true;  // false: a motion-JPEG frame, without tables
};

std::string craftJpeg(int rows, int cols, const JpegOptions& options, unsigned seed) {
  const int components = options.input == JCS_GRAYSCALE ? 1 : options.input == JCS_CMYK ? 4 : 3;
  const cv::Mat samples = texture(rows, cols, CV_8UC(components), seed);
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* output = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &output, &size);
  info.image_width = static_cast<JDIMENSION>(cols);
  info.image_height = static_cast<JDIMENSION>(rows);
  info.input_components = components;
  info.in_color_space = options.input;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, options.stored);
  jpeg_set_quality(&info, 90, TRUE);
  if (options.progressive) jpeg_simple_progression(&info);
  info.restart_in_rows = options.restartRows;
  jpeg_start_compress(&info, TRUE);
  for (int y = 0; y < rows; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.ptr(y));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<const char*>(output), size);
  std::free(output);
  if (!options.keepHuffmanTables) {
    // Cut every DHT segment out of the header, as motion-JPEG frames are stored.
    for (size_t at = 2; at + 4 < bytes.size() && bytes[at + 1] != '\xDA';) {
      const size_t length = (static_cast<unsigned char>(bytes[at + 2]) << 8) |
                            static_cast<unsigned char>(bytes[at + 3]);
      if (bytes[at + 1] == '\xC4') {
        bytes.erase(at, length + 2);
      } else {
        at += length + 2;
      }
    }
  }
  return bytes;
}

struct PngOptions {
  int colourType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  bool interlaced = false;
  bool transparency = false;  // a tRNS chunk (palette, grey or RGB)
};

void appendPng(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

std::string craftPng(int rows, int cols, const PngOptions& options, unsigned seed) {
  std::string bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &bytes, appendPng, nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(cols), static_cast<png_uint_32>(rows),
               options.bitDepth, options.colourType,
               options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette(256);
  std::vector<png_byte> alphas(200);
  for (int i = 0; i < 256; ++i) {
    palette[static_cast<size_t>(i)] = {static_cast<png_byte>(i), static_cast<png_byte>(255 - i),
                                       static_cast<png_byte>(i * 7)};
  }
  for (size_t i = 0; i < alphas.size(); ++i) alphas[i] = static_cast<png_byte>(i * 3);
  const int entries = 1 << std::min(options.bitDepth, 8);
  if (options.colourType == PNG_COLOR_TYPE_PALETTE)
    png_set_PLTE(png, info, palette.data(), entries);
  if (options.transparency) {
    png_color_16 key{0, 10, 20, 30, 5};
    png_set_tRNS(png, info, alphas.data(), std::min(entries, 200), &key);
  }
  png_write_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  const cv::Mat samples = texture(rows, static_cast<int>(rowBytes), CV_8UC1, seed);
  std::vector<png_bytep> rowPointers;
  for (int y = 0; y < rows; ++y) rowPointers.push_back(const_cast<png_bytep>(samples.ptr(y)));
  png_write_image(png, rowPointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

// --- The corpus.
struct NamedFile {
  std::string name;
  std::string bytes;
};

std::vector<NamedFile> craftedFiles() {
  std::vector<NamedFile> files;
  const cv::Mat colour = texture(45, 67, CV_8UC3, 1);
  files.push_back({"colour.jpg", encodeWithOpenCv(".jpg", colour)});
  files.push_back({"grey.jpg", encodeWithOpenCv(".jpg", texture(45, 67, CV_8UC1, 2))});
  files.push_back(
      {"progressive.jpg", encodeWithOpenCv(".jpg", colour, {cv::IMWRITE_JPEG_PROGRESSIVE, 1})});
  files.push_back({"optimized.jpg",
                   encodeWithOpenCv(".jpg", colour,
                                    {cv::IMWRITE_JPEG_OPTIMIZE, 1, cv::IMWRITE_JPEG_QUALITY, 40})});
  files.push_back({"cmyk.jpg", craftJpeg(33, 50, {JCS_CMYK, JCS_CMYK}, 3)});
  files.push_back({"ycck.jpg", craftJpeg(33, 50, {JCS_CMYK, JCS_YCCK}, 4)});
  files.push_back({"rgb-stored.jpg", craftJpeg(33, 50, {JCS_RGB, JCS_RGB}, 5)});
  files.push_back(
      {"grey-progressive.jpg", craftJpeg(31, 17, {JCS_GRAYSCALE, JCS_GRAYSCALE, true}, 6)});
  files.push_back({"restarts.jpg", craftJpeg(64, 64, {JCS_RGB, JCS_YCbCr, false, 1}, 7)});
  files.push_back({"motion.jpg", craftJpeg(32, 48, {JCS_RGB, JCS_YCbCr, false, 0, false}, 8)});
  files.push_back({"one-pixel.jpg", encodeWithOpenCv(".jpg", texture(1, 1, CV_8UC3, 9))});
  files.push_back({"colour.png", encodeWithOpenCv(".png", colour)});
  files.push_back({"grey.png", encodeWithOpenCv(".png", texture(45, 67, CV_8UC1, 10))});
  files.push_back({"alpha.png", encodeWithOpenCv(".png", texture(45, 67, CV_8UC4, 11))});
  files.push_back({"deep.png", encodeWithOpenCv(".png", texture(45, 67, CV_16UC3, 12))});
  files.push_back({"deep-grey.png", encodeWithOpenCv(".png", texture(45, 67, CV_16UC1, 13))});
  files.push_back({"deep-alpha.png", encodeWithOpenCv(".png", texture(45, 67, CV_16UC4, 14))});
  for (int depth : {1, 2, 4, 8}) {
    const std::string bits = std::to_string(depth);
    files.push_back(
        {"palette" + bits + ".png", craftPng(21, 37, {PNG_COLOR_TYPE_PALETTE, depth}, 15)});
    files.push_back({"palette-trns" + bits + ".png",
                     craftPng(21, 37, {PNG_COLOR_TYPE_PALETTE, depth, false, true}, 16)});
    files.push_back({"grey" + bits + ".png", craftPng(21, 37, {PNG_COLOR_TYPE_GRAY, depth}, 17)});
  }
  files.push_back({"grey-trns.png", craftPng(21, 37, {PNG_COLOR_TYPE_GRAY, 8, false, true}, 18)});
  files.push_back({"rgb-trns.png", craftPng(21, 37, {PNG_COLOR_TYPE_RGB, 8, false, true}, 19)});
  files.push_back({"grey-alpha.png", craftPng(21, 37, {PNG_COLOR_TYPE_GRAY_ALPHA, 8}, 20)});
  files.push_back({"grey-alpha16.png", craftPng(21, 37, {PNG_COLOR_TYPE_GRAY_ALPHA, 16}, 21)});
  files.push_back({"interlaced.png", craftPng(23, 29, {PNG_COLOR_TYPE_RGB, 8, true}, 22)});
  files.push_back(
      {"interlaced-palette.png", craftPng(23, 29, {PNG_COLOR_TYPE_PALETTE, 4, true, true}, 23)});
  files.push_back({"interlaced16.png", craftPng(23, 29, {PNG_COLOR_TYPE_RGB_ALPHA, 16, true}, 24)});
  return files;
}

// Each JPEG and PNG cut short at several places: in the header, in the pixel data, before the end
// marker; and with a byte of the pixel data broken.
std::vector<NamedFile> damaged(const std::vector<NamedFile>& files) {
  std::vector<NamedFile> result;
  for (const NamedFile& file : files) {
    const size_t size = file.bytes.size();
    for (size_t keep : {size_t{9}, size_t{40}, size / 3, size / 2, size - 12, size - 2}) {
      if (keep >= size) continue;
      result.push_back({file.name + ".cut" + std::to_string(keep), file.bytes.substr(0, keep)});
    }
    std::string broken = file.bytes;
    broken[size * 2 / 3] = static_cast<char>(broken[size * 2 / 3] ^ 0x5A);
    result.push_back({file.name + ".broken", broken});
  }
  return result;
}

std::vector<NamedFile> realFiles() {
  std::vector<NamedFile> files;
  std::vector<fs::path> folders = {fs::path(SCENETEXT_SOURCE_DIR) / "fuzz/corpus/image_run",
                                   fs::path(SCENETEXT_SOURCE_DIR) / "fuzz/regressions/image_run",
                                   fs::path(SCENETEXT_SOURCE_DIR) / "fuzz/corpus/image_header"};
  for (const fs::path& folder : folders) {
    if (!fs::is_directory(folder)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      const std::string bytes = testing::slurp(entry.path());
      if (bytes.starts_with("\xFF\xD8\xFF") || bytes.starts_with("\x89PNG")) {
        files.push_back({entry.path().filename().string(), bytes});
      }
    }
  }
  return files;
}

std::string describe(const cv::Mat& image) {
  return image.empty() ? "empty" : std::to_string(image.cols) + "x" + std::to_string(image.rows);
}

void expectSameReading(const fs::path& path, const std::string& name) {
  const cv::Mat expected = cv::imread(path.string(), kAsStored);
  Result<cv::Mat> read = readColourImage(path.string());
  const cv::Mat actual = read.ok() ? read.value() : cv::Mat();
  ASSERT_EQ(describe(actual), describe(expected)) << name;
  if (expected.empty()) return;
  ASSERT_EQ(actual.type(), CV_8UC3) << name;
  EXPECT_EQ(cv::norm(actual, expected, cv::NORM_INF), 0) << name;
}

TEST(CodecEquality, ReadsEveryFileAsOpenCvDoes) {
  ScratchFolder scratch("codec-read");
  std::vector<NamedFile> files = craftedFiles();
  const std::vector<NamedFile> real = realFiles();
  ASSERT_GE(real.size(), 5u) << "the fuzz corpus should hold JPEG and PNG files";
  files.insert(files.end(), real.begin(), real.end());
  for (const NamedFile& file : files) {
    const fs::path path = scratch / file.name;
    std::ofstream(path, std::ios::binary) << file.bytes;
    expectSameReading(path, file.name);
  }
  // Damaged files must exercise both outcomes: decoded as far as they go, and refused.
  const std::vector<NamedFile> broken = damaged(files);
  int decoded = 0;
  for (const NamedFile& file : broken) {
    const fs::path path = scratch / file.name;
    std::ofstream(path, std::ios::binary) << file.bytes;
    expectSameReading(path, file.name);
    decoded += !cv::imread(path.string(), kAsStored).empty();
  }
  EXPECT_GT(decoded, 10);
  EXPECT_LT(decoded, static_cast<int>(broken.size()) - 10);
}

TEST(CodecEquality, ReadsPhotosAsOpenCvDoes) {
  const char* folder = std::getenv("SCENETEXT_PHOTO_DIR");
  const fs::path photos =
      folder ? fs::path(folder) : fs::path(SCENETEXT_SOURCE_DIR) / "../shared/data/icdar2013-train";
  if (!fs::is_directory(photos)) GTEST_SKIP() << "no photos in " << photos;
  int count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(photos)) {
    if (entry.path().extension() != ".jpg" || ++count > 12) continue;
    expectSameReading(entry.path(), entry.path().filename().string());
  }
}

TEST(CodecEquality, WritesEveryImageAsOpenCvDoes) {
  const std::vector<cv::Mat> images = {texture(45, 67, CV_8UC3, 30), texture(45, 67, CV_8UC1, 31),
                                       texture(1, 1, CV_8UC3, 32), texture(3, 1, CV_8UC1, 33),
                                       texture(17, 1000, CV_8UC3, 34),
                                       cv::Mat(480, 640, CV_8UC3, cv::Scalar(40, 90, 200)),
                                       // a region of a larger image: rows not contiguous in memory
                                       texture(100, 120, CV_8UC3, 35)(cv::Rect(7, 9, 50, 61))};
  for (const cv::Mat& image : images) {
    for (const std::string extension : {".png", ".jpg", ".jpeg", ".JPE", ".Png"}) {
      Result<std::string> bytes = encodeImageFor("out/image" + extension, image);
      ASSERT_TRUE(bytes.ok()) << bytes.status().message();
      EXPECT_TRUE(*bytes == encodeWithOpenCv(extension, image))
          << extension << " " << image.cols << "x" << image.rows << "x" << image.channels();
    }
  }
}

TEST(CodecEquality, WritesDecodedPhotosAsOpenCvDoes) {
  const fs::path photo = fs::path(SCENETEXT_SOURCE_DIR) / "fuzz/corpus/image_run/sign.jpg";
  const cv::Mat image = cv::imread(photo.string(), kAsStored);
  ASSERT_FALSE(image.empty());
  for (const std::string extension : {".png", ".jpg"}) {
    EXPECT_TRUE(*encodeImageFor("x" + extension, image) == encodeWithOpenCv(extension, image))
        << extension;
  }
}

}  // namespace
}  // namespace scenetext::io
