#pragma once

// A small generated training set for the tests: light, slightly noisy pages with dark words drawn
// by OpenCV's Hershey font (their ground-truth boxes measured on the drawn ink) and text-free
// clutter (bars, rings, blobs) that forms candidates of its own.

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace scenetext::training::testing {

struct GeneratedWord {
  cv::Rect box;  // inclusive ink bounds as x, y, width, height
  std::string text;
};

// One page of `size` with up to three words and some clutter, all from `seed`.
inline cv::Mat generatePage(cv::Size size, uint64_t seed, std::vector<GeneratedWord>& words) {
  std::mt19937_64 random(seed);
  auto uniform = [&](int lo, int hi) {
    return lo + static_cast<int>(random() % static_cast<uint64_t>(hi - lo + 1));
  };
  cv::Mat page(size, CV_8UC3);
  for (int y = 0; y < page.rows; ++y) {
    for (int x = 0; x < page.cols; ++x) {
      const int value = 200 + (x + y) % 23 + uniform(0, 12);
      page.at<cv::Vec3b>(y, x) =
          cv::Vec3b(cv::saturate_cast<uchar>(value), cv::saturate_cast<uchar>(value - 5),
                    cv::saturate_cast<uchar>(value - 15));
    }
  }
  static const char* const kWords[] = {"HOTEL", "Market", "EXIT", "Station",
                                       "OPEN",  "Bakery", "STOP", "Road"};
  const int lines = uniform(1, 3);
  const int lineHeight = size.height / 4;
  for (int line = 0; line < lines; ++line) {
    const std::string text = kWords[uniform(0, 7)];
    const double scale = 0.8 + 0.1 * uniform(0, 6);
    const int thickness = uniform(2, 3);
    cv::Mat ink = cv::Mat::zeros(size, CV_8UC1);
    const cv::Point origin(uniform(5, size.width / 3), lineHeight * (line + 1) - 4);
    cv::putText(ink, text, origin, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(255), thickness,
                cv::LINE_8);
    const cv::Rect box = cv::boundingRect(ink);
    if (box.area() == 0) continue;
    page.setTo(cv::Scalar(uniform(10, 70), uniform(10, 70), uniform(10, 70)), ink);
    words.push_back({box, text});
  }
  // Clutter in the bottom quarter: a row of shapes of letter size, evenly spaced like letters, and
  // a fence of bars; both form candidates that hold no text.
  const int rowY = size.height * 3 / 4 + uniform(0, 8);
  const int shapeHeight = uniform(14, 22);
  int x = uniform(5, 30);
  while (x + shapeHeight < size.width - 5) {
    const cv::Point at(x, rowY);
    const int width = shapeHeight * uniform(4, 8) / 10;
    const cv::Scalar colour(uniform(20, 120), uniform(20, 120), uniform(20, 120));
    switch (uniform(0, 2)) {
      case 0:
        cv::rectangle(page, at, at + cv::Point(width, shapeHeight), colour, cv::FILLED);
        break;
      case 1:
        cv::ellipse(page, at + cv::Point(width / 2, shapeHeight / 2),
                    cv::Size(width / 2, shapeHeight / 2), 0, 0, 360, colour, 2);
        break;
      default:
        cv::ellipse(page, at + cv::Point(width / 2, shapeHeight / 2),
                    cv::Size(width / 2, shapeHeight / 2), uniform(0, 30), 0, 360, colour,
                    cv::FILLED);
    }
    x += width + uniform(4, 12);
  }
  const cv::Point fence(uniform(size.width / 2, size.width - 80), uniform(8, lineHeight - 30));
  for (int bar = 0; bar < 6; ++bar) {
    cv::rectangle(page, fence + cv::Point(bar * 12, 0), fence + cv::Point(bar * 12 + 4, 24),
                  cv::Scalar(90, 60, 40), cv::FILLED);
  }
  return page;
}

// Writes `count` pages as <stem>.png with gt_<stem>.txt (training style, "l t r b \"word\"")
// into `folder`. Pages are lossless so that every reading gives the same pixels.
inline void writeGeneratedSet(const std::filesystem::path& folder, int count, uint64_t seed,
                              cv::Size size = cv::Size(320, 240),
                              const std::string& prefix = "page") {
  std::filesystem::create_directories(folder);
  for (int n = 1; n <= count; ++n) {
    std::vector<GeneratedWord> words;
    const cv::Mat page = generatePage(size, seed * 1000 + static_cast<uint64_t>(n), words);
    const std::string stem = prefix + std::to_string(n);
    cv::imwrite((folder / (stem + ".png")).string(), page);
    std::ofstream truth(folder / ("gt_" + stem + ".txt"));
    for (const GeneratedWord& word : words) {
      truth << word.box.x << " " << word.box.y << " " << word.box.x + word.box.width - 1 << " "
            << word.box.y + word.box.height - 1 << " \"" << word.text << "\"\n";
    }
  }
}

}  // namespace scenetext::training::testing
