#include "synth/synth_image.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "synth/degradation.hpp"
#include "synth/test_support.hpp"

namespace scenetext::synth {
namespace {

using testing::kTestFonts;
using testing::TempDir;

const std::vector<std::string> kWords = {"harbour", "Quay", "fjord", "jetty", "WAVE", "pilot"};

// Options that draw the words and nothing else: no panel, outline or shadow, no degradation.
SynthOptions plainOptions() {
  SynthOptions options;
  options.minSize = cv::Size(320, 240);
  options.maxSize = cv::Size(480, 360);
  options.layout.maxPixelHeight = 60;
  options.layout.panelChance = 0.0;
  options.paint = PaintOptions{0.0, 0.0};
  options.rotationChance = options.blurChance = options.noiseChance = options.toneChance = 0.0;
  return options;
}

struct Fixture {
  explicit Fixture(const std::string& background) : backgrounds({background}), fonts(kTestFonts) {}
  Material material() { return {&backgrounds, &fonts, &kWords}; }
  BackgroundCache backgrounds;
  FontCache fonts;
};

bool boxInside(const WordBox& box, cv::Size size) {
  return 0 <= box.left && box.left <= box.right && box.right < size.width && 0 <= box.top &&
         box.top <= box.bottom && box.bottom < size.height;
}

// On a flat grey photograph the only pixels that change are the words' own: each box must hold
// its word drawn alone, ink for ink, and nothing may change outside the boxes but the faint
// anti-aliasing fringe next to them.
TEST(GenerateImageTest, EachBoxHoldsExactlyTheInkOfItsWordDrawnAlone) {
  TempDir dir;
  const cv::Vec3b grey(128, 128, 128);
  cv::imwrite(dir.file("flat.png"), cv::Mat(300, 400, CV_8UC3, cv::Scalar::all(128)));
  Fixture fixture(dir.file("flat.png"));
  int checked = 0;
  for (int index = 1; index <= 6; ++index) {
    Result<SynthImage> made = generateImage(fixture.material(), plainOptions(), 7, index);
    ASSERT_TRUE(made) << made.status().message();
    const cv::Mat& image = made->image;
    cv::Mat changed(image.size(), CV_8UC1);
    for (int y = 0; y < image.rows; ++y) {
      for (int x = 0; x < image.cols; ++x)
        changed.at<uchar>(y, x) = image.at<cv::Vec3b>(y, x) != grey;
    }
    cv::Mat covered = cv::Mat::zeros(image.size(), CV_8UC1);
    for (const WordBox& box : made->words) {
      SCOPED_TRACE("image " + std::to_string(index) + " word " + box.text);
      ASSERT_TRUE(boxInside(box, image.size()));
      Result<WordMask> alone = fixture.fonts.render(box.font, box.text, box.pixelHeight);
      ASSERT_TRUE(alone);
      const cv::Rect ink = inkBounds(alone->coverage);
      ASSERT_EQ(ink.size(), cv::Size(box.right - box.left + 1, box.bottom - box.top + 1));
      const cv::Mat inBox = changed(cv::Rect(box.left, box.top, ink.width, ink.height));
      const cv::Mat aloneInk = alone->coverage(ink);
      for (int y = 0; y < ink.height; ++y) {
        for (int x = 0; x < ink.width; ++x) {
          const uchar cover = aloneInk.at<uchar>(y, x);
          if (cover >= kInkCoverage || cover == 0) {
            ASSERT_EQ(inBox.at<uchar>(y, x) != 0, cover != 0) << "at " << x << "," << y;
          }
        }
      }
      cv::rectangle(covered, cv::Point(box.left - 1, box.top - 1),
                    cv::Point(box.right + 1, box.bottom + 1), cv::Scalar(1), cv::FILLED);
      ++checked;
    }
    EXPECT_EQ(cv::countNonZero(changed & (covered == 0)), 0) << "image " << index;
  }
  EXPECT_GE(checked, 6);
}

TEST(GenerateImageTest, SameSeedAndIndexGiveTheSameImage) {
  TempDir dir;
  Fixture fixture(testing::writeBackground(dir, "bg.png", cv::Size(500, 400)));
  SynthOptions options;
  options.minSize = cv::Size(200, 150);
  options.maxSize = cv::Size(300, 225);
  options.rotationChance = options.noiseChance = options.blurChance = 1.0;
  Result<SynthImage> first = generateImage(fixture.material(), options, 3, 5);
  Result<SynthImage> again = generateImage(fixture.material(), options, 3, 5);
  Result<SynthImage> other = generateImage(fixture.material(), options, 3, 6);
  ASSERT_TRUE(first && again && other);
  EXPECT_EQ(encodeJpeg(first->image, 90), encodeJpeg(again->image, 90));
  EXPECT_EQ(formatGroundTruth(first->words), formatGroundTruth(again->words));
  EXPECT_NE(encodeJpeg(first->image, 90), encodeJpeg(other->image, 90));
}

// Every effect at once, rotation always: boxes stay inside the image and hold real words.
TEST(GenerateImageTest, BoxesStayInsideTheImageWithEveryEffect) {
  TempDir dir;
  Fixture fixture(testing::writeBackground(dir, "bg.png", cv::Size(640, 480)));
  SynthOptions options;
  options.minSize = cv::Size(200, 150);
  options.maxSize = cv::Size(400, 300);
  options.rotationChance = options.blurChance = options.noiseChance = options.toneChance = 1.0;
  options.layout.panelChance = 0.5;
  options.paint = PaintOptions{0.4, 0.5};
  int words = 0;
  for (int index = 1; index <= 12; ++index) {
    Result<SynthImage> made = generateImage(fixture.material(), options, 11, index);
    ASSERT_TRUE(made) << made.status().message();
    EXPECT_GE(made->jpegQuality, 40);
    EXPECT_LE(made->jpegQuality, 95);
    for (const WordBox& box : made->words) {
      EXPECT_TRUE(boxInside(box, made->image.size())) << formatGroundTruth({box});
      EXPECT_FALSE(box.text.empty());
      ++words;
    }
  }
  EXPECT_GT(words, 12);
}

// A word's box after rotation is the axis-aligned box of its turned ink, clipped to the image:
// compared with turning a full-size mask of the word.
TEST(RotateSceneTest, BoxIsTheBoundOfTheTurnedInkClippedToTheImage) {
  const cv::Size size(200, 150);
  struct Row {
    cv::Rect bar;
    double degrees;
  };
  const Row rows[] = {{{40, 60, 120, 20}, 3.0},
                      {{40, 60, 120, 20}, -2.5},
                      {{150, 2, 60, 12}, 3.0},    // runs off the right edge
                      {{0, 140, 30, 20}, -3.0}};  // runs off the bottom
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.degrees) + " degrees");
    cv::Mat coverage(row.bar.size(), CV_8UC1, cv::Scalar(255));
    std::vector<WordInk> words = {{"bar", 0, 20, coverage, row.bar.tl()}};
    cv::Mat image(size, CV_8UC3, cv::Scalar::all(90));
    rotateScene(image, words, row.degrees);

    cv::Mat full = cv::Mat::zeros(size, CV_8UC1);
    full(row.bar & cv::Rect(cv::Point(0, 0), size)).setTo(255);
    const cv::Point2f centre((size.width - 1) * 0.5f, (size.height - 1) * 0.5f);
    cv::Mat turned;
    cv::warpAffine(full, turned,
                   cv::getRotationMatrix2D(centre, row.degrees, coverZoom(size, row.degrees)), size,
                   cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    const cv::Rect expected = inkBounds(turned);

    const std::vector<WordBox> boxes = measureBoxes(words, size);
    ASSERT_EQ(boxes.size(), 1u);
    const cv::Rect box(cv::Point(boxes[0].left, boxes[0].top),
                       cv::Point(boxes[0].right + 1, boxes[0].bottom + 1));
    // The mask is turned in its own window: fixed-point sampling may differ by one pixel.
    EXPECT_LE(std::abs(box.x - expected.x), 1);
    EXPECT_LE(std::abs(box.y - expected.y), 1);
    EXPECT_LE(std::abs(box.br().x - expected.br().x), 1);
    EXPECT_LE(std::abs(box.br().y - expected.br().y), 1);
    EXPECT_TRUE(boxInside(boxes[0], size));
  }
}

TEST(SafeAreaTest, StaysInsideTheFrameAfterRotation) {
  for (const cv::Size size : {cv::Size(640, 480), cv::Size(1600, 1200), cv::Size(300, 600)}) {
    for (double degrees : {0.0, 1.0, -3.0, 3.0}) {
      const cv::Rect safe = safeArea(size, degrees, 0.02);
      ASSERT_GT(safe.area(), size.area() / 2) << size << " " << degrees;
      const cv::Point2f centre((size.width - 1) * 0.5f, (size.height - 1) * 0.5f);
      const cv::Matx23d m = cv::getRotationMatrix2D(centre, degrees, coverZoom(size, degrees));
      for (const cv::Point p :
           {safe.tl(), safe.br() - cv::Point(1, 1), cv::Point(safe.x, safe.br().y - 1),
            cv::Point(safe.br().x - 1, safe.y)}) {
        const cv::Vec3d q(p.x, p.y, 1.0);
        const double x = m.row(0).dot(q.t());
        const double y = m.row(1).dot(q.t());
        EXPECT_TRUE(x >= 0 && y >= 0 && x <= size.width - 1 && y <= size.height - 1)
            << size << " " << degrees << " " << p;
      }
    }
  }
}

TEST(FormatGroundTruthTest, WritesIcdar2013CommaStyle) {
  const std::vector<WordBox> words = {{3, 4, 50, 20, "OPEN"}, {0, 0, 0, 0, "24"}};
  EXPECT_EQ(formatGroundTruth(words), "3, 4, 50, 20, \"OPEN\"\n0, 0, 0, 0, \"24\"\n");
}

}  // namespace
}  // namespace scenetext::synth
