#pragma once

// Material for the generator's tests, made inside the test: a temporary folder, background
// photographs drawn with OpenCV, and the DejaVu fonts that the build's packages install.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace scenetext::synth::testing {

inline const std::vector<std::string> kTestFonts = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf",
};

// A fresh folder, removed with the object.
class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("synth_test_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
             std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name), std::ios::binary) << text;
    return file(name);
  }

 private:
  std::filesystem::path path_;
};

// A background with structure at several scales, so crops and rotations show in the pixels.
inline std::string writeBackground(const TempDir& dir, const std::string& name, cv::Size size) {
  cv::Mat image(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y) {
    for (int x = 0; x < size.width; ++x) {
      image.at<cv::Vec3b>(y, x) =
          cv::Vec3b(static_cast<uchar>(x * 255 / size.width), static_cast<uchar>((x * y) % 97 + 80),
                    static_cast<uchar>(y * 255 / size.height));
    }
  }
  cv::imwrite(dir.file(name), image);
  return dir.file(name);
}

inline std::string writeList(const TempDir& dir, const std::string& name,
                             const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return dir.write(name, text);
}

}  // namespace scenetext::synth::testing
