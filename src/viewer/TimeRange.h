#pragma once
// The span of a run that the time panels show, in seconds from its start: the whole of a
// finished run, the last few minutes of one that goes on; zoomed about a moment and scrolled,
// never beyond the run's ends. No widgets.

namespace solvane::viewer {

class TimeRange {
public:
    static constexpr double ShortestSpan = 5.0;   ///< s: the closest zoom
    static constexpr double FollowedSpan = 180.0; ///< s: what a run that goes on shows

    [[nodiscard]] double from() const noexcept { return from_; }
    [[nodiscard]] double to() const noexcept { return to_; }
    /// The end of the axis: the run's length, or the shortest span for a shorter run.
    [[nodiscard]] double end() const noexcept;
    /// True while the range keeps to the run's end as it grows.
    [[nodiscard]] bool following() const noexcept { return following_; }

    /// A run of `seconds`: the whole of it, or its last FollowedSpan when it goes on.
    void open(double seconds, bool goesOn);
    /// The run has grown to `seconds`; a range at its end moves along with it, and shows the
    /// whole run once it ends (`goesOn` false).
    void grow(double seconds, bool goesOn);
    void whole();
    /// Zooms by `factor` (below 1 closer) about the moment `at`.
    void zoom(double factor, double at);
    void scroll(double seconds);
    void show(double from, double to);

private:
    void keepWithin();

    double length_ = 0.0;
    double from_ = 0.0;
    double to_ = ShortestSpan;
    bool following_ = false;
    bool goesOn_ = false;
};

} // namespace solvane::viewer
