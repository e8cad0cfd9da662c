#pragma once
// The time panels of one session stacked on one time axis: the volumes, output 00's share,
// the channels' totals, one band and the contact, each with its unit and a key of the
// channels by their scalp positions. Their value axes take one width, so that their plot
// areas share one left edge and the crosshair is one line at one moment in all of them.

#include "viewer/PlotView.h"
#include "viewer/SessionAnalysis.h"
#include "viewer/TimeRange.h"

#include <QWidget>

#include <array>
#include <optional>

namespace solvane::viewer {

class SessionPanels : public QWidget {
    Q_OBJECT
public:
    enum class Panel { Volumes, Share, Totals, Band, Contact };
    static constexpr int Panels = 5;

    explicit SessionPanels(QWidget* parent = nullptr);

    /// Shows `analysis` (kept by the caller) with its channels named `names` from the start:
    /// all of a finished run, the last minutes of one that goes on.
    void open(const SessionAnalysis* analysis, const std::array<QString, 4>& names, bool goesOn);
    /// The analysis has grown; `goesOn` false once the run has ended.
    void grown(bool goesOn);
    void setBand(Band band);
    void showWhole();

    [[nodiscard]] const TimeRange& range() const noexcept { return range_; }
    [[nodiscard]] PlotView* view(Panel panel) const {
        return views_[static_cast<std::size_t>(panel)];
    }
    /// The second the crosshair stands at, if any.
    [[nodiscard]] std::optional<int> pointed() const noexcept { return pointed_; }

signals:
    /// The crosshair moved to `second`.
    void secondPointed(int second);

private:
    void point(double x);
    void refresh();
    [[nodiscard]] Plot plotOf(Panel panel) const;

    std::array<PlotView*, Panels> views_{};
    const SessionAnalysis* analysis_ = nullptr;
    std::array<QString, 4> names_;
    Band band_ = Alpha;
    TimeRange range_;
    std::optional<int> pointed_;
};

} // namespace solvane::viewer
