#include "io/image_input.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/test_support.hpp"
#include "io/image_output.hpp"

namespace scenetext::io {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::ScratchFolder;

bool imgcodecsLoaded() {
  return testing::slurp("/proc/self/maps").find("libopencv_imgcodecs") != std::string::npos;
}

cv::Mat stripes() {
  cv::Mat image(9, 14, CV_8UC3);
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      image.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(x * 18), static_cast<uchar>(y * 28),
                                            static_cast<uchar>(200 - x * 9 - y * 4));
    }
  }
  return image;
}

fs::path writeFile(const ScratchFolder& scratch, const std::string& name,
                   const std::string& bytes) {
  const fs::path path = scratch / name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// A 24-bit BMP of 2 x 1 pixels: blue, then red (rows bottom-up, padded to 4 bytes).
std::string tinyBmp() {
  const std::string pixels = "\xFF\x00\x00\x00\x00\xFF\x00\x00"s;
  std::string header = "BM"s + "\x3E\x00\x00\x00"s + "\x00\x00\x00\x00"s + "\x36\x00\x00\x00"s;
  header += "\x28\x00\x00\x00"s + "\x02\x00\x00\x00"s + "\x01\x00\x00\x00"s + "\x01\x00\x18\x00"s;
  header += std::string(24, '\0');
  return header + pixels;
}

// One test, in this order, because a process can load the plugin only once: JPEG and PNG files are
// read and written without imgcodecs in the process, and the first other format brings it in.
TEST(ImageInput, ReadsJpegAndPngWithoutImgcodecsAndOtherFormatsThroughIt) {
  ScratchFolder scratch("image-input");
  const cv::Mat image = stripes();
  const fs::path png = writeFile(scratch, "a.png", *encodeImageFor("a.png", image));
  const fs::path jpeg = writeFile(scratch, "a.jpg", *encodeImageFor("a.jpg", image));

  Result<cv::Mat> fromPng = readColourImage(png.string());
  ASSERT_TRUE(fromPng.ok()) << fromPng.status().message();
  EXPECT_EQ(cv::norm(*fromPng, image, cv::NORM_INF), 0);  // lossless
  Result<cv::Mat> fromJpeg = readColourImage(jpeg.string());
  ASSERT_TRUE(fromJpeg.ok()) << fromJpeg.status().message();
  EXPECT_EQ(fromJpeg->size(), image.size());
  EXPECT_LT(cv::norm(*fromJpeg, image, cv::NORM_L1) / image.total() / 3, 4);  // lossy, but close
#ifndef __SANITIZE_ADDRESS__  // sanitizer builds load imgcodecs at start-up (top CMakeLists.txt)
  EXPECT_FALSE(imgcodecsLoaded());
#endif

  const fs::path bmp = writeFile(scratch, "b.bmp", tinyBmp());
  Result<cv::Mat> fromBmp = readColourImage(bmp.string());
  ASSERT_TRUE(fromBmp.ok()) << fromBmp.status().message();
  ASSERT_EQ(fromBmp->size(), cv::Size(2, 1));
  EXPECT_EQ(fromBmp->at<cv::Vec3b>(0, 0), cv::Vec3b(255, 0, 0));
  EXPECT_EQ(fromBmp->at<cv::Vec3b>(0, 1), cv::Vec3b(0, 0, 255));
  EXPECT_TRUE(imgcodecsLoaded());
}

TEST(ImageInput, NamesTheFileAndTheReason) {
  ScratchFolder scratch("image-input-errors");
  const std::string missing = (scratch / "missing.jpg").string();
  EXPECT_EQ(readColourImage(missing).status().message(),
            "cannot read image '" + missing + "': No such file or directory");

  // PNG signature and IHDR of 30000 x 30000, no pixel data: refused from the header.
  const std::string bomb =
      "\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR\x00\x00\x75\x30\x00\x00\x75\x30"
      "\x08\x02\x00\x00\x00\x00\x00\x00\x00"s;
  const fs::path bombPath = writeFile(scratch, "bomb.png", bomb);
  EXPECT_EQ(readColourImage(bombPath.string()).status().message(),
            "cannot read image '" + bombPath.string() +
                "': 30000x30000 pixels exceed the limit of 200000000");

  for (const std::string& bytes : {bomb.substr(0, 20), "\xFF\xD8\xFF\xE0 not really"s}) {
    const fs::path path = writeFile(scratch, "cut", bytes);
    EXPECT_EQ(readColourImage(path.string()).status().message(),
              "cannot read image '" + path.string() + "': not a readable image");
  }

  // A decoded image over a lower limit: the header of a JPEG is read first, a PNG's too.
  const fs::path png = writeFile(scratch, "a.png", *encodeImageFor("a.png", stripes()));
  EXPECT_EQ(readColourImage(png.string(), 100).status().message(),
            "cannot read image '" + png.string() + "': 14x9 pixels exceed the limit of 100");
  EXPECT_TRUE(readColourImage(png.string(), 126).ok());
}

TEST(ImageInput, DecodesBytesAsTheFileReaderDoes) {
  const cv::Mat image = stripes();
  const Result<std::string> png = encodeImageFor("a.png", image);
  EXPECT_EQ(cv::norm(decodeColourImage(*png), image, cv::NORM_INF), 0);
  EXPECT_TRUE(decodeColourImage("not an image").empty());
  EXPECT_TRUE(decodeColourImage(png->substr(0, png->size() / 2)).empty());
}

}  // namespace
}  // namespace scenetext::io
