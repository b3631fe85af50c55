#include "eval/html_report.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace scenetext::evaluation {
namespace {

// The curve's square plot and the margin for its axis labels, in SVG pixels.
constexpr int kPlotSize = 240;
constexpr int kPlotMargin = 40;

std::string decimals(double value, int places) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", places, value);
  return text;
}

std::string threeDecimals(double value) { return decimals(value, 3); }

const char* protocolName(Protocol protocol) {
  return protocol == Protocol::IoU ? "IoU (ICDAR 2015)" : "DetEval (ICDAR 2013)";
}

constexpr const char* kStyle = R"(<style>
body { font-family: sans-serif; margin: 1.5em; color: #222; }
.figures { display: flex; gap: 2em; align-items: flex-start; flex-wrap: wrap; }
.figure { font-size: 1.1em; }
.figure b { font-size: 1.8em; display: block; }
table { border-collapse: collapse; margin-top: 1.5em; }
th, td { padding: 0.3em 0.8em; border-bottom: 1px solid #ddd; text-align: right; vertical-align: middle; }
th { background: #f4f4f4; position: sticky; top: 0; }
td.stem { text-align: left; font-family: monospace; }
img { display: block; max-width: 360px; max-height: 240px; }
.key span { display: inline-block; width: 1em; height: 0.8em; margin: 0 0.3em 0 1em; border: 2px solid; }
svg text { font-size: 11px; }
</style>
)";

std::string colourKey() {
  return "<p class=\"key\">Boxes:"
         "<span style=\"border-color:#00ff00\"></span>word found"
         "<span style=\"border-color:#007800\"></span>word missed"
         "<span style=\"border-color:#00ffff\"></span>detection matched"
         "<span style=\"border-color:#007878\"></span>detection wrong"
         "<span style=\"border-color:#808080\"></span>don't care</p>\n";
}

std::string figureBlock(const char* name, double value) {
  return "<div class=\"figure\">" + std::string(name) + "<b>" + threeDecimals(value) +
         "</b></div>\n";
}

// Recall along x, precision up y, both 0..1.
std::string curveSvg(const PrecisionRecallCurve& curve) {
  const int size = kPlotSize + 2 * kPlotMargin;
  const auto x = [](double recall) { return decimals(kPlotMargin + recall * kPlotSize, 1); };
  const auto y = [](double precision) {
    return decimals(kPlotMargin + (1.0 - precision) * kPlotSize, 1);
  };
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(size) +
                    "\" height=\"" + std::to_string(size) +
                    "\" role=\"img\" aria-label=\"precision-recall curve\">\n";
  svg += "<rect x=\"" + x(0) + "\" y=\"" + y(1) + "\" width=\"" + std::to_string(kPlotSize) +
         "\" height=\"" + std::to_string(kPlotSize) + "\" fill=\"none\" stroke=\"#999\"/>\n";
  for (double tick : {0.0, 0.5, 1.0}) {
    svg += "<text x=\"" + x(tick) + "\" y=\"" + decimals(kPlotMargin + kPlotSize + 15, 1) +
           "\" text-anchor=\"middle\">" + decimals(tick, 1) + "</text>\n";
    svg += "<text x=\"" + decimals(kPlotMargin - 5, 1) + "\" y=\"" + y(tick) +
           "\" text-anchor=\"end\">" + decimals(tick, 1) + "</text>\n";
  }
  svg += "<text x=\"" + x(0.5) + "\" y=\"" + std::to_string(size - 5) +
         "\" text-anchor=\"middle\">recall</text>\n";
  svg += "<text x=\"12\" y=\"" + y(0.5) + "\" text-anchor=\"middle\" transform=\"rotate(-90 12 " +
         y(0.5) + ")\">precision</text>\n";
  svg += "<polyline fill=\"none\" stroke=\"#1060c0\" stroke-width=\"1.5\" points=\"";
  for (const CurvePoint& point : curve.points)
    svg += x(point.recall) + "," + y(point.precision) + " ";
  svg += "\"/>\n</svg>\n";
  return svg;
}

std::string summary(const ReportContent& content) {
  const Tally total = totalOf(*content.images);
  const Scores scores = scoresOf(total);
  std::string html =
      "<h1>Text detection: " + std::string(protocolName(content.protocol)) + "</h1>\n";
  html += "<p>" + std::to_string(content.images->size()) + " images, " +
          std::to_string(total.words) + " words, " + std::to_string(total.detections) +
          " detections (don't-care boxes left out).</p>\n";
  html += "<div class=\"figures\">\n" + figureBlock("precision", scores.precision) +
          figureBlock("recall", scores.recall) + figureBlock("F", scores.f);
  if (content.curve) {
    html += figureBlock("AP", content.curve->averagePrecision);
    html += curveSvg(*content.curve);
  }
  return html + "</div>\n";
}

std::string imageRow(const ImageEvaluation& image, const ReportContent& content) {
  const Tally& tally = image.score.tally;
  const Scores scores = scoresOf(tally);
  std::string row = "<tr><td class=\"stem\">" + escapeHtml(image.files.stem) + "</td><td>" +
                    std::to_string(tally.words) + "</td><td>" + std::to_string(tally.detections) +
                    "</td><td>" + threeDecimals(scores.recall) + "</td><td>" +
                    threeDecimals(scores.precision) + "</td><td>" + threeDecimals(scores.f) +
                    "</td><td>";
  const auto links = content.overlays.find(image.files.stem);
  if (links != content.overlays.end()) {
    row += "<a href=\"" + escapeHtml(escapeUrlPath(links->second.full)) + "\"><img src=\"" +
           escapeHtml(escapeUrlPath(links->second.thumbnail)) + "\" alt=\"" +
           escapeHtml(image.files.stem) + "\" loading=\"lazy\"></a>";
  }
  return row + "</td></tr>\n";
}

}  // namespace

std::vector<const ImageEvaluation*> worstFirst(const std::vector<ImageEvaluation>& images) {
  std::vector<const ImageEvaluation*> order;
  for (const ImageEvaluation& image : images) order.push_back(&image);
  std::stable_sort(order.begin(), order.end(),
                   [](const ImageEvaluation* a, const ImageEvaluation* b) {
                     const double fa = scoresOf(a->score.tally).f;
                     const double fb = scoresOf(b->score.tally).f;
                     if (fa != fb) return fa < fb;
                     return naturalLess(a->files.stem, b->files.stem);
                   });
  return order;
}

std::string formatHtmlReport(const ReportContent& content) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>scenetext-eval report</title>\n";
  html += kStyle;
  html += "</head>\n<body>\n" + summary(content) + colourKey();
  html +=
      "<table>\n<thead><tr><th>image</th><th>words</th><th>detections</th><th>recall</th>"
      "<th>precision</th><th>F</th><th>overlay</th></tr></thead>\n<tbody>\n";
  for (const ImageEvaluation* image : worstFirst(*content.images))
    html += imageRow(*image, content);
  return html + "</tbody>\n</table>\n</body>\n</html>\n";
}

std::string escapeHtml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string escapeUrlPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      escaped += c;
    } else {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 15];
    }
  }
  return escaped;
}

}  // namespace scenetext::evaluation
