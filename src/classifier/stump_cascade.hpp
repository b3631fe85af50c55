#pragma once

// The text/non-text classifier: a rejection cascade of boosted decision stumps, its model file
// (read and written in one line grammar) and its evaluation on a FeatureVector.
//
// Model file grammar, line by line (a line ends at "\n"; one "\r" before it is dropped too, so CRLF
// files load; a final line without "\n" counts; lines may be of any length):
//
//   stage header      any line but "#"; its content is ignored (it may start with "@")
//   stump line        zero or more: "unused, featureIndex, polarity, threshold, weight, extra"
//   closing line      the first following line that starts with "@": "@, stageThreshold"
//   ... further stage blocks ...
//   #                 the terminator, exactly "#"; nothing after it is read
//
// Stump fields are split on ", " (comma and exactly one space). Integers read as C's atoi
// (strtol, base 10, truncated to 32 bits), reals as C's atof (strtod: decimal, hex, inf, nan),
// stored in single precision. Text that is not a number reads as 0, an empty field too. A seventh
// field and all after it are ignored. A closing line without ", " takes its number from the text
// after the "@". A "#" with trailing text is not the terminator but the header of a further block.
//
// The file is rejected (Status message "NAME:LINE: problem") when it ends before its terminator,
// when a stump line has fewer than six fields, or when a feature index is outside
// 0..kFeatureCount-1 (whatever the stump's polarity).

#include <opencv2/core.hpp>

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.hpp"

namespace scenetext::classifier {

// One record of a CascadeStage. The field order is the record's, not the stump line's (which puts
// polarity before threshold).
struct StumpRecord {
  int featureIndex;  // stump: column of the FeatureVector, 0..kFeatureCount-1; threshold record: -1
  float reserved;    // never read; the loader stores 0 in stumps and -1 in the threshold record
  float threshold;   // stump: split value; threshold record: the stage threshold
  int polarity;      // stump: +1 or -1, any other value abstains; threshold record: -1
  float weight;      // stump: vote weight (may be negative); threshold record: -1
  float extra;       // stump: the line's sixth field, never read by the evaluation; threshold: -1

  bool operator==(const StumpRecord&) const = default;  // float ==: -0 equals 0, NaN never equal
};

// Zero or more stumps followed by exactly one threshold record, which is last.
using CascadeStage = std::vector<StumpRecord>;
// The stages in file order.
using StumpCascade = std::vector<CascadeStage>;

// Length of the FeatureVector the feature indices address: 19 feature maps x 10 stripe contrasts.
inline constexpr int kFeatureCount = 190;

// The records the loader builds, so that callers (the trainer) make identical ones.
StumpRecord makeStumpRecord(int featureIndex, int polarity, float threshold, float weight,
                            float extra = 0.0f);
StumpRecord makeThresholdRecord(float stageThreshold);

// Reads the model file at `path` and appends one CascadeStage per stage block, in file order.
// Failure: "cannot read model 'PATH': <system reason>" when the file cannot be opened or read,
// "PATH:LINE: <problem>" for a fault of the grammar. On failure `cascade` is left unchanged.
Status loadStumpCascade(const std::string& path, StumpCascade& cascade);

// The same from the file's bytes; `name` stands for the file in messages.
Status parseStumpCascade(std::string_view text, const std::string& name, StumpCascade& cascade);

// One stage's vote: each stump looks at features[featureIndex] and fires when it is >= its
// threshold (a NaN feature never fires); polarity +1 adds the weight when the stump fires and
// subtracts it otherwise, polarity -1 the reverse, any other polarity abstains. The
// single-precision sum is rounded after every vote. Returns +1 when sum >= stageThreshold (a NaN
// sum fails), else -1. `features` must hold every index the stumps name; nothing is checked here.
int evaluateStage(std::span<const StumpRecord> stumps, const float* features, float stageThreshold);

// Tries the stages in order and returns -1 at the first that fails, +1 when all pass (an empty
// cascade accepts everything). A stage's last record supplies its threshold, the others vote; a
// stage without any record has nothing to test and passes. `featureVector` is a 1 x N CV_32FC1
// row. A feature index outside 0..N-1 in a stage that is reached is a broken precondition
// (the loader never builds one) and throws cv::Exception.
int evaluateStumpCascade(const cv::Mat& featureVector, const StumpCascade& cascade);
int evaluateStumpCascade(std::span<const float> features, const StumpCascade& cascade);

// The same decision with each feature obtained from `feature(index)` when a stump reached needs
// it, in stump order (a stump that abstains asks for nothing), so that a caller can compute only
// the features the stages reached look at. Every index of a stage reached is checked against
// `featureCount` before the stage asks for any feature (cv::Exception, as above).
int evaluateStumpCascade(const std::function<float(int)>& feature, size_t featureCount,
                         const StumpCascade& cascade);

// The decision of evaluateStumpCascade and, for an accepted FeatureVector, how clearly it passed.
struct CascadeVerdict {
  int decision = -1;       // +1 text, -1 not text
  double clearance = 0.0;  // accepted: the smallest stageClearance of its stages, in [0, 1]
};

// How far a stage sum clears its threshold, as a fraction of the way from the threshold to the
// largest sum the stage can reach (every voting stump agreeing: the sum of |weight| over the stumps
// of polarity +1 or -1): 0 at the threshold, 1 at the top. 1 when the stage cannot rise above its
// threshold at all. Computed in double precision from the single-precision sum.
double stageClearance(std::span<const StumpRecord> stumps, float sum, float stageThreshold);

// The same decision as evaluateStumpCascade, from the same single-precision stage sums, with the
// clearance of an accepted FeatureVector: that of its weakest stage (1 when no stage has a record).
// A cascade is as sure of a region as of the stage it passed most narrowly.
CascadeVerdict judgeStumpCascade(const std::function<float(int)>& feature, size_t featureCount,
                                 const StumpCascade& cascade);

// The cascade in the model file grammar, so that parsing it gives the cascade back record for
// record, bit for bit (NaNs keep their sign, not their payload), provided the records are as the
// loader builds them (`reserved` and the threshold record's fixed fields are not written).
// Numbers are written with "%.9g", which single precision needs to read back exactly.
// Stage K (from 1) gets the header stageHeaders[K-1] when given, else "stage K". A header is made
// safe before it is written: every "\n" and "\r" becomes a space, and a header that would read as
// the terminator "#" becomes "# stage K". Stump lines are "J, featureIndex, polarity, threshold,
// weight, extra" with J the stump's number in its stage (from 1); closing lines "@, threshold".
// A stage without any record has no threshold to write and is left out (saveStumpCascade refuses
// it).
std::string formatStumpCascade(const StumpCascade& cascade,
                               const std::vector<std::string>& stageHeaders = {});

// Writes formatStumpCascade's text to `path` atomically (whole or not at all). Refuses, writing
// nothing, a cascade that would not load back: a stage without records, or a stump whose feature
// index is outside 0..kFeatureCount-1 ("cannot save model 'PATH': stage K ..."). Write failures
// name the path and the system's reason.
Status saveStumpCascade(const std::string& path, const StumpCascade& cascade,
                        const std::vector<std::string>& stageHeaders = {});

}  // namespace scenetext::classifier
