#include "viewer/TimeRange.h"

#include <algorithm>

namespace solvane::viewer {

double TimeRange::end() const noexcept {
    return std::max(length_, ShortestSpan);
}

void TimeRange::open(double seconds, bool goesOn) {
    length_ = std::max(seconds, 0.0);
    goesOn_ = goesOn;
    from_ = goesOn ? length_ - FollowedSpan : 0.0;
    to_ = end();
    keepWithin();
}

void TimeRange::grow(double seconds, bool goesOn) {
    const double span = to_ - from_;
    const bool wasWhole = from_ <= 0.0 && to_ >= end();
    length_ = std::max(seconds, 0.0);
    if (following_ && !goesOn) {
        goesOn_ = false;
        whole();
        return;
    }
    goesOn_ = goesOn;
    if (following_) {
        // A run followed from its start shows all of it until it outgrows the followed span.
        const double shown = from_ <= 0.0 ? std::max(span, std::min(end(), FollowedSpan)) : span;
        to_ = end();
        from_ = to_ - shown;
    } else if (wasWhole) {
        to_ = end();
    }
    keepWithin();
}

void TimeRange::whole() {
    from_ = 0.0;
    to_ = end();
    keepWithin();
}

void TimeRange::zoom(double factor, double at) {
    const double span = to_ - from_;
    const double wanted = std::clamp(span * factor, ShortestSpan, end());
    const double share = span > 0.0 ? std::clamp((at - from_) / span, 0.0, 1.0) : 0.5;
    from_ = at - share * wanted;
    to_ = from_ + wanted;
    keepWithin();
}

void TimeRange::scroll(double seconds) {
    from_ += seconds;
    to_ += seconds;
    keepWithin();
}

void TimeRange::show(double from, double to) {
    from_ = std::min(from, to);
    to_ = std::max(from, to);
    keepWithin();
}

void TimeRange::keepWithin() {
    const double last = end();
    const double span = std::clamp(to_ - from_, ShortestSpan, last);
    from_ = std::clamp(from_, 0.0, last - span);
    to_ = from_ + span;
    following_ = goesOn_ && to_ >= last;
}

} // namespace solvane::viewer
