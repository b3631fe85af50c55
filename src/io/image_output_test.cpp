#include "io/image_output.hpp"

#include <gtest/gtest.h>

#include "io/image_input.hpp"

namespace scenetext::io {
namespace {

const cv::Mat kColour(6, 5, CV_8UC3, cv::Scalar(10, 20, 30));

struct WriterCase {
  std::string path;
  std::string signature;  // the start of the encoded file; empty: refused
};

TEST(ImageOutput, ChoosesTheEncoderByTheExtensionAsOpenCvDoes) {
  const std::vector<WriterCase> cases = {
      {"a.jpg", "\xFF\xD8\xFF"},
      {"dir.x/a.JPEG", "\xFF\xD8\xFF"},
      {"a.Jpe", "\xFF\xD8\xFF"},
      {"a.png", "\x89PNG"},
      {"a.PNG", "\x89PNG"},
      {"a.png~", "\x89PNG"},  // letters and digits only
      {"a.bmp", "BM"},
      {"a.ppm", "P6"},
      {"a.jpgx", ""},
      {"a.pn", ""},
  };
  for (const WriterCase& c : cases) {
    Result<std::string> bytes = encodeImageFor(c.path, kColour);
    if (c.signature.empty()) {
      EXPECT_FALSE(bytes.ok()) << c.path;
      continue;
    }
    ASSERT_TRUE(bytes.ok()) << c.path << ": " << bytes.status().message();
    EXPECT_TRUE(bytes->starts_with(c.signature)) << c.path;
  }
}

TEST(ImageOutput, RefusesWithTheReason) {
  EXPECT_EQ(checkImageWriter("out/photo").message(),
            "cannot write 'out/photo': no image extension in the file name");
  EXPECT_EQ(checkImageWriter("out.d/photo").message(),
            "cannot write 'out.d/photo': no image extension in the file name");
  EXPECT_EQ(checkImageWriter("photo.xyz").message(),
            "cannot write 'photo.xyz': no image encoder for '.xyz'");
  EXPECT_TRUE(checkImageWriter("photo.tif").ok());
  EXPECT_TRUE(checkImageWriter("photo.jpg").ok());
  const Result<std::string> grey = encodeImageFor("photo.pgm", kColour);
  ASSERT_FALSE(grey.ok());
  EXPECT_TRUE(grey.status().message().starts_with(
      "cannot write 'photo.pgm': the .pgm encoder refused the image ("))
      << grey.status().message();
}

TEST(ImageOutput, WritesWhatTheReaderReadsBack) {
  for (const cv::Mat& image : {kColour, cv::Mat(3, 4, CV_8UC1, cv::Scalar(77))}) {
    const Result<std::string> png = encodeImageFor("a.png", image);
    ASSERT_TRUE(png.ok());
    cv::Mat expected;
    if (image.channels() == 1) {
      cv::Mat planes[] = {image, image, image};
      cv::merge(planes, 3, expected);
    } else {
      expected = image;
    }
    EXPECT_EQ(cv::norm(decodeColourImage(*png), expected, cv::NORM_INF), 0);
  }
}

}  // namespace
}  // namespace scenetext::io
