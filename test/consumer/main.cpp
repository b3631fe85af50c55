// detect_lines IMAGE [exact|extended]: the lines of one photo through the installed library, one
// "left,top,right,bottom,score" line each, the way `scenetext --scores` writes its box list.

#include <scenetext/scenetext.hpp>

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: detect_lines IMAGE [exact|extended]\n");
    return 2;
  }
  const bool extended = argc == 3 && std::string(argv[2]) == "extended";
  try {
    const scenetext::Detector detector = scenetext::Detector::load(
        std::string(MODEL_DIR) + (extended ? "/extended.model" : "/default.model"),
        extended ? scenetext::Candidates::kExtended : scenetext::Candidates::kExact);
    const cv::Mat image = cv::imread(argv[1], cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    for (const scenetext::TextLine& line : detector.detect(image)) {
      std::printf("%d,%d,%d,%d,%.6f\n", line.left, line.top, line.right, line.bottom, line.score);
    }
  } catch (const scenetext::Error& error) {
    std::fprintf(stderr, "detect_lines: %s\n", error.what());
    return 1;
  }
  return 0;
}
