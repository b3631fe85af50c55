#include "common/image_limits.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <sstream>

namespace scenetext {
namespace {

using namespace std::string_literals;

std::string encode(const std::string& extension, const cv::Mat& image,
                   const std::vector<int>& parameters = {}) {
  std::vector<uchar> bytes;
  EXPECT_TRUE(cv::imencode(extension, image, bytes, parameters)) << extension;
  return std::string(bytes.begin(), bytes.end());
}

std::string bigEndian(uint64_t value, int size) {
  std::string bytes;
  for (int i = size - 1; i >= 0; --i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return bytes;
}

std::string littleEndian(uint64_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return bytes;
}

// The header of a PNG (signature and IHDR) with no pixel data after it: what a bomb looks like
// to anything that does not decode it.
std::string pngHeader(uint32_t width, uint32_t height) {
  return "\x89PNG\r\n\x1A\n"s + bigEndian(13, 4) + "IHDR" + bigEndian(width, 4) +
         bigEndian(height, 4) + "\x08\x02\x00\x00\x00"s + bigEndian(0, 4);
}

// SOI, an APP1 segment, stray bytes and fill bytes (which decoders skip), then a baseline SOF0.
std::string jpegHeader(uint16_t width, uint16_t height) {
  return "\xFF\xD8\xFF\xE1"s + bigEndian(6, 2) + "Exif" + "\x00\x00junk\xFF\xFF\xFF\xC0"s +
         bigEndian(17, 2) + "\x08"s + bigEndian(height, 2) + bigEndian(width, 2) + "\x03"s;
}

// A TIFF or BigTIFF whose first IFD, placed after 100 bytes of padding, holds ImageWidth and
// ImageLength (as `type`: 3 SHORT, 4 LONG, 16 LONG8).
std::string tiffHeader(bool bigEndianOrder, bool big, uint64_t width, uint64_t height, int type) {
  auto number = [&](uint64_t value, int size) {
    return bigEndianOrder ? bigEndian(value, size) : littleEndian(value, size);
  };
  const int offsetSize = big ? 8 : 4;
  std::string bytes = bigEndianOrder ? "MM" : "II";
  bytes += number(big ? 43 : 42, 2);
  if (big) bytes += number(8, 2) + number(0, 2);
  const uint64_t directory = bytes.size() + offsetSize + 100;
  bytes += number(directory, offsetSize) + std::string(100, '\0');
  bytes += number(3, big ? 8 : 2);
  const int valueSize = type == 3 ? 2 : type == 4 ? 4 : 8;
  auto entry = [&](int tag, uint64_t value) {
    std::string e = number(static_cast<uint64_t>(tag), 2) + number(static_cast<uint64_t>(type), 2) +
                    number(1, offsetSize) + number(value, valueSize);
    return e + std::string(static_cast<size_t>(offsetSize - valueSize), '\0');
  };
  bytes += entry(254, 0) + entry(256, width) + entry(257, height);
  return bytes;
}

struct DeclaredCase {
  std::string name;
  std::string bytes;
  std::optional<ImageDimensions> expected;
};

std::ostream& operator<<(std::ostream& out, const DeclaredCase& c) { return out << c.name; }

// Real files from the image library's own encoders, 67 x 45 so that width and height cannot be
// confused; then headers made by hand for what the encoders never write.
std::vector<DeclaredCase> declaredCases() {
  const cv::Mat colour(45, 67, CV_8UC3, cv::Scalar(10, 200, 90));
  const cv::Mat grey(45, 67, CV_8UC1, cv::Scalar(120));
  cv::Mat real;
  colour.convertTo(real, CV_32FC3, 1.0 / 255);
  const ImageDimensions size{67, 45};
  const std::string webpLossy = encode(".webp", colour, {cv::IMWRITE_WEBP_QUALITY, 80});
  const std::string webpLossless = encode(".webp", colour, {cv::IMWRITE_WEBP_QUALITY, 101});
  return {
      {"png", encode(".png", colour), size},
      {"jpeg", encode(".jpg", colour), size},
      {"bmp", encode(".bmp", colour), size},
      {"tiff", encode(".tif", colour), size},
      {"webp lossy (VP8)", webpLossy, size},
      {"webp lossless (VP8L)", webpLossless, size},
      {"ppm", encode(".ppm", colour), size},
      {"pgm", encode(".pgm", grey), size},
      {"pbm", encode(".pbm", grey), size},
      {"pam", encode(".pam", colour), size},
      {"pfm", encode(".pfm", real), size},
      {"sun raster", encode(".ras", colour), size},
      {"radiance hdr", encode(".hdr", real), size},
      {"jpeg 2000 jp2", encode(".jp2", colour), size},
      {"png bomb", pngHeader(30000, 30000), ImageDimensions{30000, 30000}},
      {"jpeg frame after stray bytes", jpegHeader(30000, 20000), ImageDimensions{30000, 20000}},
      {"jpeg without a frame", "\xFF\xD8\xFF\xDA\x00\x02"s, std::nullopt},
      {"jpeg frame of height 0", jpegHeader(640, 0), std::nullopt},
      {"tiff big-endian LONG", tiffHeader(true, false, 70000, 3, 4), ImageDimensions{70000, 3}},
      {"bigtiff LONG8", tiffHeader(false, true, 1ull << 33, 5, 16), ImageDimensions{1ll << 33, 5}},
      {"tiff without its length", tiffHeader(false, false, 5, 6, 3).substr(0, 138), std::nullopt},
      {"bmp top-down",
       "BM"s + std::string(12, '\0') + littleEndian(40, 4) + littleEndian(50, 4) +
           littleEndian(static_cast<uint32_t>(-60), 4),
       ImageDimensions{50, 60}},
      {"bmp core header",
       "BM"s + std::string(12, '\0') + littleEndian(12, 4) + littleEndian(65535, 2) +
           littleEndian(2, 2),
       ImageDimensions{65535, 2}},
      {"gif", "GIF89a"s + littleEndian(320, 2) + littleEndian(200, 2) + "\xF7\x00\x00"s,
       ImageDimensions{320, 200}},
      {"webp extended (VP8X)",
       "RIFF"s + littleEndian(30, 4) + "WEBPVP8X" + littleEndian(10, 4) + std::string(4, '\0') +
           littleEndian(16383, 3) + littleEndian(9999, 3),
       ImageDimensions{16384, 10000}},
      {"pnm with comments", "P6\n# made by hand\n 30000\t# width\n30000\n255\n",
       ImageDimensions{30000, 30000}},
      {"pnm of 13 digits", "P5 1000000000000 2 255\n", std::nullopt},
      // The decoder swallows the byte after the width: a "#" there is no comment.
      {"pnm with # right after the width", "P4 42#6\n42\n", ImageDimensions{42, 6}},
      {"pam", "P7\nWIDTH 4000\nHEIGHT 3000\nDEPTH 3\nMAXVAL 255\nENDHDR\n",
       ImageDimensions{4000, 3000}},
      {"hdr", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 480 +X 640\n", ImageDimensions{640, 480}},
      {"hdr turned", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n+X 640 -Y 480\n", std::nullopt},
      {"j2k codestream with offset",
       "\xFF\x4F\xFF\x51\x00\x29\x00\x00"s + bigEndian(1000, 4) + bigEndian(800, 4) +
           bigEndian(10, 4) + bigEndian(20, 4),
       ImageDimensions{990, 780}},
      {"sun raster", "\x59\xA6\x6A\x95"s + bigEndian(800, 4) + bigEndian(600, 4),
       ImageDimensions{800, 600}},
      {"png cut before its height", pngHeader(10, 10).substr(0, 22), std::nullopt},
      {"png of width 0", pngHeader(0, 10), std::nullopt},
      {"empty", "", std::nullopt},
      {"text", "hello, this is not an image\n", std::nullopt},
      {"P alone", "P", std::nullopt},
  };
}

TEST(DeclaredImageDimensions, ReadsEveryKnownHeader) {
  for (const DeclaredCase& c : declaredCases()) {
    const std::optional<ImageDimensions> declared = declaredImageDimensions(c.bytes);
    ASSERT_EQ(declared.has_value(), c.expected.has_value()) << c;
    if (declared) {
      EXPECT_EQ(declared->width, c.expected->width) << c;
      EXPECT_EQ(declared->height, c.expected->height) << c;
    }
    // Every prefix is a truncated file: it must never be read past its end.
    for (size_t n = 0; n < std::min<size_t>(c.bytes.size(), 200); ++n) {
      declaredImageDimensions(std::string_view(c.bytes).substr(0, n));
    }
  }
}

TEST(DeclaredImageDimensions, ReadsThroughAStreamLikeFromMemory) {
  for (const DeclaredCase& c : declaredCases()) {
    std::istringstream stream(c.bytes);
    EXPECT_EQ(declaredImageDimensions(stream), declaredImageDimensions(c.bytes)) << c;
  }
}

TEST(CheckPixelLimit, RefusesOnlyAboveTheLimit) {
  EXPECT_TRUE(checkPixelLimit({20000, 10000}).ok());  // exactly 200 million
  EXPECT_TRUE(checkPixelLimit({1, kMaxImagePixels}).ok());
  EXPECT_EQ(checkPixelLimit({20001, 10000}).message(),
            "20001x10000 pixels exceed the limit of 200000000");
  EXPECT_EQ(checkPixelLimit({30000, 30000}).message(),
            "30000x30000 pixels exceed the limit of 200000000");
  EXPECT_FALSE(checkPixelLimit({kMaxImagePixels + 1, 1}).ok());
  // A product that would overflow 64 bits.
  EXPECT_FALSE(checkPixelLimit({1ll << 40, 1ll << 40}).ok());
  EXPECT_EQ(checkPixelLimit({100, 11}, 1000).message(), "100x11 pixels exceed the limit of 1000");
  EXPECT_TRUE(checkPixelLimit({100, 10}, 1000).ok());
}

TEST(CheckImageHeader, RefusesBombsAndDicomAndPassesWhatDeclaresNothing) {
  EXPECT_EQ(checkImageHeader(pngHeader(30000, 30000)).message(),
            "30000x30000 pixels exceed the limit of 200000000");
  EXPECT_TRUE(checkImageHeader(pngHeader(300, 300)).ok());
  EXPECT_TRUE(checkImageHeader("not an image").ok());
  std::istringstream bomb(jpegHeader(30000, 30000));
  EXPECT_EQ(checkImageHeader(bomb).message(), "30000x30000 pixels exceed the limit of 200000000");
  // A 128-byte preamble and "DICM": GDCM would get the file.
  const std::string dicom = std::string(128, '\0') + "DICM" + std::string(64, '\x11');
  EXPECT_EQ(checkImageHeader(dicom).message(), "a DICOM file, which is not read");
  std::istringstream dicomStream(dicom);
  EXPECT_FALSE(checkImageHeader(dicomStream).ok());
  // Almost a JPEG, but not to the JPEG decoder (its signature is FF D8 FF): GDCM would get it.
  std::string almostJpeg = jpegHeader(40, 30);
  almostJpeg[2] = '\xF7';
  almostJpeg.resize(128, '\0');
  EXPECT_EQ(checkImageHeader(almostJpeg + "DICM").message(), "a DICOM file, which is not read");
  // A WebP whose frame header libwebp cannot parse is not claimed by the WebP decoder either.
  const std::string brokenWebp =
      "RIFF\x9a\x03\0\0WEBPVP8 \x8e\x03\0\xc3pII"s + std::string(105, 'e');
  EXPECT_EQ(checkImageHeader(brokenWebp + "DICM").message(), "a DICOM file, which is not read");
  // "DICM" at byte 128 of a PNG is pixel data: the PNG decoder claims the file first.
  std::string png = encode(".png", cv::Mat(40, 40, CV_8UC3, cv::Scalar(1, 2, 3)));
  ASSERT_GT(png.size(), 132u);
  png.replace(128, 4, "DICM");
  EXPECT_TRUE(checkImageHeader(png).ok());
}

}  // namespace
}  // namespace scenetext
