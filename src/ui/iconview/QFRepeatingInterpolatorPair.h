#pragma once
// QFRepeatingInterpolatorPair: one keyframe of a QFRepeatingInterpolator: a
// value at a time relative to the start of its part (setup, repeating
// cycle or teardown), and, on copies placed on the timeline, where that
// part starts.
//
// Two pairs are equal when they are of one type, their relative times
// differ by at most 0.0001 s and their values by less than 0.0001; where
// their part starts does not count, so a copy finds its original.
//
// Threads: a value.

#include <cstdint>
#include <string>

class QFRepeatingInterpolatorPair {
public:
    enum Type : int32_t { Setup = 0, Repeat = 1, Teardown = 2 };

    QFRepeatingInterpolatorPair(double relativeTime, double value, Type type)
        : type_(type), relativeTime_(relativeTime), value_(value) {}
    static QFRepeatingInterpolatorPair pairWithRelativeTime(double relativeTime, double value,
                                                            Type type) {
        return {relativeTime, value, type};
    }

    Type type() const { return type_; }
    double relativeTime() const { return relativeTime_; }
    double value() const { return value_; }
    double baseTime() const { return baseTime_; }
    void setBaseTime(double time) { baseTime_ = time; }
    // A copy starting at `time`.
    QFRepeatingInterpolatorPair withBaseTime(double time) const {
        QFRepeatingInterpolatorPair copy = *this;
        copy.baseTime_ = time;
        return copy;
    }
    double absoluteTime() const { return baseTime_ + relativeTime_; }

    bool operator==(const QFRepeatingInterpolatorPair& other) const;

    // "<Pair type = setup, time = 0.25s, value = 1.3>", with the absolute time.
    std::string description() const;

private:
    Type type_;
    double relativeTime_;
    double value_;
    double baseTime_ = 0;
};
