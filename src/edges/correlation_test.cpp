#include "edges/correlation.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include <opencv2/imgproc.hpp>

#include "common/instruction_sets.hpp"
#include "edges/gradients.hpp"

namespace scenetext::edges {
namespace {

cv::Mat libraryCorrelation(const cv::Mat& src, const cv::Mat& kernel) {
  cv::Mat dst;
  cv::filter2D(src, dst, CV_32F, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
  return dst;
}

bool sameBits(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() &&
         std::memcmp(a.data, b.data, a.total() * a.elemSize()) == 0;
}

// The gradient kernels and random ones (with zero taps) on planes of the sizes the detector
// meets: the 96 x 48 patch, photo rows of any width (remainders of 1 to 15 past whole vectors),
// planes tall enough to be worked in strips, single rows and columns, and planes narrower and
// shorter than the kernel.
TEST(Correlation, GivesTheLibrarysValuesBitForBit) {
  const GaussianKernels gaussian = buildGaussianKernels();
  cv::RNG rng(5);
  const cv::Size sizes[] = {{96, 48}, {640, 3}, {97, 7}, {101, 5}, {111, 4},  {1, 1},    {1, 30},
                            {30, 1},  {5, 3},   {8, 8},  {17, 2},  {70, 150}, {33, 129}, {9, 65}};
  for (const cv::Size size : sizes) {
    cv::Mat src(size, CV_32FC1);
    rng.fill(src, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::Mat random(7, 3, CV_32FC1);
    rng.fill(random, cv::RNG::UNIFORM, -1.0, 1.0);
    random.at<float>(2, 1) = 0.0f;
    for (const cv::Mat& kernel :
         {gaussian.row, gaussian.column, gaussian.kx, gaussian.ky, random}) {
      cv::Mat own;
      correlate(src, own, kernel);
      EXPECT_TRUE(sameBits(own, libraryCorrelation(src, kernel)))
          << size << " kernel " << kernel.size();
    }
    cv::Mat gx, gy;
    correlatePair(src, gaussian.kx, gaussian.ky, gx, gy);
    EXPECT_TRUE(sameBits(gx, libraryCorrelation(src, gaussian.kx))) << size;
    EXPECT_TRUE(sameBits(gy, libraryCorrelation(src, gaussian.ky))) << size;
    // In place, as a filter run from a plane into itself.
    cv::Mat inPlace = src.clone();
    correlate(inPlace, inPlace, gaussian.row);
    EXPECT_TRUE(sameBits(inPlace, libraryCorrelation(src, gaussian.row))) << size;
  }
}

// Signed zeros: a product that is -0 must leave the sum +0 where the library's does.
TEST(Correlation, KeepsTheLibrarysSignOfZero) {
  cv::Mat src(6, 20, CV_32FC1, cv::Scalar(0.0f));
  src.colRange(0, 10).setTo(-0.0f);
  cv::Mat kernel(3, 3, CV_32FC1, cv::Scalar(0.5f));
  kernel.at<float>(0, 0) = -0.25f;
  cv::Mat own;
  correlate(src, own, kernel);
  EXPECT_TRUE(sameBits(own, libraryCorrelation(src, kernel)));
}

// Where OpenCV runs its AVX2 code, its chains are fused multiply-adds and the own loop must
// have been found equal to them; otherwise every correlation would quietly take the slow path.
TEST(Correlation, OwnLoopRunsWhereOpenCvUsesAvx2) {
  if (!cv::checkHardwareSupport(CV_CPU_AVX2) || !cv::checkHardwareSupport(CV_CPU_FMA3)) {
    GTEST_SKIP() << "no AVX2 and FMA: cv::filter2D serves every correlation";
  }
  if (!haveAvx2Fma()) GTEST_SKIP() << "built without the x86-64 kernels";
  EXPECT_TRUE(ownCorrelationInUse());
}

TEST(Correlation, RejectsOtherTypesAndEvenKernels) {
  cv::Mat dst;
  const cv::Mat kernel(3, 3, CV_32FC1, cv::Scalar(1.0f));
  EXPECT_THROW(correlate(cv::Mat(4, 4, CV_8UC1, cv::Scalar(0)), dst, kernel), cv::Exception);
  EXPECT_THROW(correlate(cv::Mat(4, 4, CV_32FC1, cv::Scalar(0)), dst, cv::Mat(2, 3, CV_32FC1)),
               cv::Exception);
}

}  // namespace
}  // namespace scenetext::edges
