#include "geometry/VKPathDash.h"

#include <cmath>
#include <numeric>

bool VKDashSubpath(const std::vector<VKPathSegment>& segments, const std::vector<double>& lengths,
                   double phase, std::vector<VKDash>& dashes, double maxRepetitions) {
    std::vector<double> pattern = lengths;
    if (pattern.size() % 2) pattern.insert(pattern.end(), lengths.begin(), lengths.end());
    double period = 0;
    for (double length : pattern) {
        if (!(length >= 0) || !std::isfinite(length)) return false;
        period += length;
    }
    if (!(period > 0) || !std::isfinite(phase)) return false;

    std::vector<double> segmentLengths;
    for (const VKPathSegment& s : segments)
        segmentLengths.push_back(VKBezierLength(s));
    double total = std::accumulate(segmentLengths.begin(), segmentLengths.end(), 0.0);
    if (total / period > maxRepetitions) return false;

    // Where in the pattern the path starts.
    double offset = std::fmod(phase, period);
    if (offset < 0) offset += period;
    size_t entry = 0;
    while (offset > 0 && offset >= pattern[entry]) {
        offset -= pattern[entry];
        entry = (entry + 1) % pattern.size();
    }
    double remaining = pattern[entry] - offset;

    VKDash current;
    bool open = false;  // a dash is being collected
    auto endDash = [&] {
        if (open) dashes.push_back(std::move(current));
        current = {};
        open = false;
    };
    for (size_t i = 0; i < segments.size(); ++i) {
        const VKPathSegment& s = segments[i];
        double length = segmentLengths[i], position = 0;
        double t = 0;
        while (true) {
            bool on = entry % 2 == 0;
            double step = std::min(remaining, length - position);
            double nextT =
                position + step >= length ? 1 : VKBezierParameterAtLength(s, position + step);
            if (on) {
                if (!open) {
                    current.point = VKBezierPointAt(s, t);
                    current.tangent = VKBezierTangentAt(s, t);
                    open = true;
                }
                if (nextT > t) current.segments.push_back(VKBezierSubsegment(s, t, nextT));
            }
            position += step;
            remaining -= step;
            t = nextT;
            if (remaining > 0) break;  // the segment ended inside this entry
            if (on) endDash();
            entry = (entry + 1) % pattern.size();
            remaining = pattern[entry];
            if (position >= length && remaining > 0) break;
        }
    }
    endDash();
    return true;
}
