// Starts and exits: what any program linked with OpenCV's core, imgproc and imgcodecs pays before
// its first line. The calls below never run (no one passes 100 arguments); they keep the linker
// from dropping a library however it is configured.

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

int main(int argc, char** argv) {
  if (argc > 100) {
    cv::Mat image = cv::imread(argv[1]);
    cv::cvtColor(image, image, cv::COLOR_BGR2GRAY);
    return image.empty() ? 1 : 0;
  }
  return 0;
}
