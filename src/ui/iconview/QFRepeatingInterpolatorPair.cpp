#include "ui/iconview/QFRepeatingInterpolatorPair.h"

#include <fmt/format.h>

#include <cmath>

bool QFRepeatingInterpolatorPair::operator==(const QFRepeatingInterpolatorPair& other) const {
    return type_ == other.type_ && std::fabs(relativeTime_ - other.relativeTime_) <= 0.0001 &&
           std::fabs(value_ - other.value_) < 0.0001;
}

std::string QFRepeatingInterpolatorPair::description() const {
    const char* name = type_ == Setup ? "setup" : type_ == Repeat ? "repeat" : "teardown";
    return fmt::format("<Pair type = {}, time = {}s, value = {}>", name, absoluteTime(), value_);
}
