#pragma once
// QFRepeatingInterpolator: a keyframe timeline in three parts: a setup
// played once from time 0, a cycle repeated until a teardown is asked for,
// and the teardown, which starts only where a cycle ends. Values between
// keyframes follow a uniform Catmull-Rom spline through the two keyframes
// around the time and their outer neighbours, so the motion flows across
// the parts and the cycles.
//
// Times of setup keyframes count from time 0, those of repeat keyframes
// from the start of their cycle, those of teardown keyframes from the
// teardown's start. The setup ends at its last keyframe; a cycle lasts up
// to its last keyframe.
//
// Before the first setup keyframe the value is the first setup value;
// after the teardown, the last teardown value. The timeline expects at
// least one keyframe in each part; with an empty part it still answers
// (a missing cycle counts as none), but its motion is then the callers'
// to judge.
//
// Threads: main thread only.

#include "ui/iconview/QFRepeatingInterpolatorPair.h"

#include <cfloat>
#include <optional>
#include <vector>

class QFRepeatingInterpolator {
public:
    using Pair = QFRepeatingInterpolatorPair;

    // Each keeps its list in ascending order of relative time.
    void addSetupValue(double value, double timeInterval);
    void addRepeatingValue(double value, double timeInterval);
    void addTeardownValue(double value, double timeInterval);

    // The value at `time` (seconds on the timeline).
    double valueForTime(double time) const;

    // Asks for the teardown at `time`: it starts at the end of the cycle
    // under way, or of the next one when `time` is past the cycle's
    // second-to-last keyframe (the motion is never cut off mid-swing). The
    // first request fixes the start; later ones change nothing.
    void startTeardownAtTime(double time);
    // DBL_MAX until a teardown is asked for.
    double teardownStartTime() const { return teardownStartTime_; }
    double teardownEndTime() const;

    double setupEndTime() const;
    double repeatCycleDuration() const;

    // The keyframe that ends the segment holding `time`, placed on the
    // timeline; none where no keyframe qualifies.
    std::optional<Pair> firstPairAfterTime(double time) const;
    Pair pairPrecedingPair(const Pair& pair) const;
    Pair pairFollowingPair(const Pair& pair) const;

private:
    static void insertSorted(std::vector<Pair>& pairs, Pair pair);
    static std::optional<size_t> indexOf(const std::vector<Pair>& pairs, const Pair& pair);

    std::vector<Pair> setupPairs_, repeatPairs_, teardownPairs_;
    double teardownStartTime_ = DBL_MAX;
};
