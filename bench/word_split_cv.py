#!/usr/bin/python3
"""Chooses the word-splitting setting (gap factor, margin) by five-fold cross-validation.

For each candidate mode, scenetext-word-sweep detects the lines of every training photo once and
writes the word box lists of every setting. For each fold, the setting with the best word-level
IoU F on the other four fifths of the photos is scored on the held-out fifth. Prints, per mode and
granularity, the held-out IoU F and DetEval F (mean and spread over the folds, and pooled over
all held-out photos for IoU), and the settings the folds chose.

  bench/word_split_cv.py --build build --data ../shared/data/icdar2013-train --work /tmp/cv
"""

import argparse
import os
import re
import statistics
import subprocess
import sys

FOLDS = 5
FIGURES = re.compile(r"precision (\S+) recall (\S+) F (\S+)")


def subset(root, name, files):
    """A folder of symbolic links to `files` (absolute paths), so the evaluator sees only them."""
    folder = os.path.join(root, name)
    os.makedirs(folder, exist_ok=True)
    for path in files:
        link = os.path.join(folder, os.path.basename(path))
        if not os.path.lexists(link):
            os.symlink(path, link)
    return folder


def evaluate(build, gt_dir, det_dir, protocol, csv=None):
    command = [os.path.join(build, "scenetext-eval"), "--protocol", protocol, gt_dir, det_dir]
    if csv:
        command += ["--csv", csv]
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return float(FIGURES.search(out).group(3))


def pooled_iou(csv_files):
    """P, R, F over the images of every CSV: IoU matches are whole, so counts come back exactly."""
    words = detections = matched_words = matched_detections = 0
    for path in csv_files:
        with open(path) as rows:
            next(rows)
            for row in rows:
                _, w, d, recall, precision = row.strip().split(",")
                words += int(w)
                detections += int(d)
                matched_words += round(float(recall) * int(w))
                matched_detections += round(float(precision) * int(d))
    p = matched_detections / detections if detections else 0.0
    r = matched_words / words if words else 0.0
    return p, r, (2 * p * r / (p + r) if p + r else 0.0)


def spread(values):
    return f"{statistics.mean(values):.3f} ± {statistics.pstdev(values):.3f}"


def cross_validate(args, mode, model):
    sweep = os.path.join(args.work, mode)
    subprocess.run([os.path.join(args.build, "scenetext-word-sweep"), model, mode, args.data,
                    sweep, args.gaps, args.margins], check=True)
    stems = sorted(f[3:-4] for f in os.listdir(args.data) if f.startswith("gt_"))
    settings = sorted(d for d in os.listdir(sweep) if d.startswith("g"))
    folds = [[s for i, s in enumerate(stems) if i % FOLDS == k] for k in range(FOLDS)]
    work = os.path.join(args.work, mode + "-folds")

    def split(k, name, held_out):
        chosen = folds[k] if held_out else [s for j in range(FOLDS) if j != k for s in folds[j]]
        tag = f"{k}-{'test' if held_out else 'train'}"
        gt = subset(work, f"gt-{tag}", [os.path.join(args.data, f"gt_{s}.txt") for s in chosen])
        det = subset(work, f"{name}-{tag}",
                     [os.path.join(sweep, name, f"{s}.jpg.txt") for s in chosen])
        return gt, det

    results = {"line": {"iou": [], "deteval": [], "csv": []},
               "word": {"iou": [], "deteval": [], "csv": []}}
    picks = []
    for k in range(FOLDS):
        best = max(settings, key=lambda name: evaluate(args.build, *split(k, name, False), "iou"))
        picks.append(best)
        for granularity, name in (("line", "lines"), ("word", best)):
            gt, det = split(k, name, True)
            csv = os.path.join(work, f"{granularity}-{k}.csv")
            results[granularity]["iou"].append(evaluate(args.build, gt, det, "iou", csv))
            results[granularity]["deteval"].append(evaluate(args.build, gt, det, "deteval"))
            results[granularity]["csv"].append(csv)
    for granularity in ("line", "word"):
        r = results[granularity]
        p_, r_, f = pooled_iou(r["csv"])
        print(f"{mode:8} {granularity:4}  IoU F {spread(r['iou'])} (pooled P {p_:.3f} R {r_:.3f} "
              f"F {f:.3f})  DetEval F {spread(r['deteval'])}")
    print(f"{mode:8} settings chosen per fold: {' '.join(picks)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--data", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--models", default=os.path.join(os.path.dirname(__file__), "..", "models"))
    parser.add_argument("--gaps", default="0.15,0.2,0.25,0.3,0.35,0.4,0.5,0.7,1.0")
    parser.add_argument("--margins", default="0,0.05,0.1,0.15,0.2")
    args = parser.parse_args()
    args.data = os.path.abspath(args.data)
    for mode, model in (("exact", "default.model"), ("extended", "extended.model")):
        cross_validate(args, mode, os.path.join(args.models, model))
    return 0


if __name__ == "__main__":
    sys.exit(main())
