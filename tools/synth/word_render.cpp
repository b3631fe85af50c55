#include "synth/word_render.hpp"

#include <opencv2/imgproc.hpp>

namespace scenetext::synth {
namespace {

// Letters with ascenders and descenders and a digit: a face that draws these draws words.
constexpr const char* kProbeText = "Hxgy0";
constexpr int kProbeHeight = 32;  // pixels: large enough that every glyph leaves ink

Result<cv::Ptr<cv::freetype::FreeType2>> loadFace(const std::string& path) {
  try {
    cv::Ptr<cv::freetype::FreeType2> face = cv::freetype::createFreeType2();
    face->loadFontData(path, 0);
    return face;
  } catch (const cv::Exception&) {
    return Status::error(path + ": cannot be loaded as a font");
  }
}

// Draws into a canvas with room on every side; the margin is doubled until no ink touches the
// border, for faces whose swashes reach far beyond their reported size.
Result<WordMask> drawWord(cv::freetype::FreeType2& face, const std::string& path,
                          const std::string& text, int pixelHeight) {
  int baseline = 0;
  const cv::Size measured = face.getTextSize(text, pixelHeight, -1, &baseline);
  for (int margin = pixelHeight; margin <= 8 * pixelHeight; margin *= 2) {
    // The module draws only into three-channel images; white on black leaves the coverage in
    // every channel.
    cv::Mat canvas = cv::Mat::zeros(measured.height + pixelHeight + 2 * margin,
                                    measured.width + 2 * margin, CV_8UC3);
    // The origin is the top left of the em box; the baseline lies pixelHeight below it.
    face.putText(canvas, text, cv::Point(margin, margin), pixelHeight, cv::Scalar::all(255), -1,
                 cv::LINE_AA, false);
    cv::Mat coverage;
    cv::extractChannel(canvas, coverage, 0);
    const cv::Rect nonzero = cv::boundingRect(coverage);
    if (nonzero.empty() || inkBounds(coverage).empty()) {
      return Status::error(path + ": draws no ink for \"" + text + "\"");
    }
    const bool touches = nonzero.x == 0 || nonzero.y == 0 || nonzero.br().x == canvas.cols ||
                         nonzero.br().y == canvas.rows;
    if (!touches) return WordMask{coverage(nonzero).clone(), margin + pixelHeight - nonzero.y};
  }
  return Status::error(path + ": draws \"" + text + "\" far outside its size");
}

}  // namespace

cv::Rect inkBounds(const cv::Mat& coverage) {
  cv::Mat ink;
  cv::compare(coverage, kInkCoverage, ink, cv::CMP_GE);
  return cv::boundingRect(ink);
}

FontCache::FontCache(std::vector<std::string> paths)
    : paths_(std::move(paths)), faces_(paths_.size()) {}

Result<cv::freetype::FreeType2*> FontCache::face(int index) {
  if (!faces_[index]) {
    Result<cv::Ptr<cv::freetype::FreeType2>> loaded = loadFace(paths_[index]);
    if (!loaded) return loaded.status();
    faces_[index] = *loaded;
  }
  return faces_[index].get();
}

Result<WordMask> FontCache::render(int index, const std::string& text, int pixelHeight) {
  Result<cv::freetype::FreeType2*> loaded = face(index);
  if (!loaded) return loaded.status();
  try {
    return drawWord(**loaded, paths_[index], text, pixelHeight);
  } catch (const cv::Exception& e) {
    return Status::error(paths_[index] + ": cannot draw \"" + text + "\": " + e.err);
  }
}

Status checkFont(const std::string& path) {
  FontCache cache({path});
  Result<WordMask> probe = cache.render(0, kProbeText, kProbeHeight);
  return probe ? Status() : probe.status();
}

}  // namespace scenetext::synth
