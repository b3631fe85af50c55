#pragma once

// Photographic degradations applied to a finished synthetic image: a small camera rotation that
// carries the words' ink along, blur, sensor noise, and brightness and contrast changes.

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/text_layout.hpp"

namespace scenetext::synth {

// The zoom at which an image turned by `degrees` still covers its whole frame, leaving no empty
// corner: cos a + (long side / short side) sin |a|.
double coverZoom(cv::Size size, double degrees);

// The part of an image of `size` where text may go: `edgeShare` of each side kept clear, and
// enough more that the area stays inside the frame after rotateScene by `degrees`.
cv::Rect safeArea(cv::Size size, double degrees, double edgeShare);

// Turns `image` (8-bit BGR) by `degrees` about its centre (positive is counter-clockwise),
// zoomed by coverZoom, and moves each word's coverage and position with it, the coverage clipped
// to the image. A word whose ink leaves the image entirely ends with an empty coverage.
void rotateScene(cv::Mat& image, std::vector<WordInk>& words, double degrees);

// Gaussian blur of standard deviation `sigma` pixels, as of a lens slightly out of focus.
void blurImage(cv::Mat& image, double sigma);

// value * contrast + brightness on every channel, saturated to 0..255.
void adjustTone(cv::Mat& image, double contrast, double brightness);

// Adds to every channel of every pixel independent noise of standard deviation `sigma` (levels),
// close to Gaussian (the sum of four uniform variables), drawn from a generator seeded by `seed`.
void addSensorNoise(cv::Mat& image, double sigma, std::uint64_t seed);

}  // namespace scenetext::synth
