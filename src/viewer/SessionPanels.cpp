#include "viewer/SessionPanels.h"

#include "viewer/PlotColours.h"

#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace solvane::viewer {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

const char* const PanelNames[SessionPanels::Panels] = {"volumes", "share", "totals", "band",
                                                       "contact"};

} // namespace

SessionPanels::SessionPanels(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int p = 0; p < Panels; ++p) {
        auto* view = new PlotView;
        view->setObjectName(QString::fromLatin1(PanelNames[p]));
        layout->addWidget(view, 1);
        views_[static_cast<std::size_t>(p)] = view;
        connect(view, &PlotView::hovered, this, &SessionPanels::point);
        connect(view, &PlotView::zoomed, this, [this](double factor, double at) {
            range_.zoom(factor, at);
            refresh();
        });
        connect(view, &PlotView::scrolled, this, [this](double by) {
            range_.scroll(by);
            refresh();
        });
        connect(view, &PlotView::spanChosen, this, [this](double from, double to) {
            range_.show(from, to);
            refresh();
        });
        connect(view, &PlotView::wholeWanted, this, &SessionPanels::showWhole);
    }
    refresh();
}

void SessionPanels::open(const SessionAnalysis* analysis, const std::array<QString, 4>& names,
                         bool goesOn) {
    analysis_ = analysis;
    names_ = names;
    pointed_.reset();
    range_.open(analysis_ != nullptr ? analysis_->seconds() : 0, goesOn);
    refresh();
}

void SessionPanels::grown(bool goesOn) {
    range_.grow(analysis_ != nullptr ? analysis_->seconds() : 0, goesOn);
    refresh();
}

void SessionPanels::setBand(Band band) {
    band_ = band;
    refresh();
}

void SessionPanels::showWhole() {
    range_.whole();
    refresh();
}

void SessionPanels::point(double x) {
    if (analysis_ == nullptr || analysis_->seconds() == 0)
        return;
    const int second = std::clamp(static_cast<int>(std::floor(x)), 0, analysis_->seconds() - 1);
    if (pointed_ == second)
        return;
    pointed_ = second;
    refresh();
    emit secondPointed(second);
}

Plot SessionPanels::plotOf(Panel panel) const {
    Plot plot;
    plot.xFrom = range_.from();
    plot.xTo = range_.to();
    if (pointed_)
        plot.cursor = *pointed_ + 0.5;
    const SessionAnalysis* a = analysis_;
    const int n = a != nullptr ? a->seconds() : 0;
    plot.empty = a == nullptr ? tr("No session") : tr("No second recorded yet");
    const auto perSecond = [n](QString name, QColor colour, std::function<double(int)> value) {
        return PlotLine{std::move(name), colour, n, 0.5, 1.0, std::move(value)};
    };
    const auto channels = [&](const std::function<double(const ChannelSeconds&, int)>& value) {
        for (int slot = 0; a != nullptr && slot < SessionAnalysis::Channels; ++slot)
            if (a->inUse(slot)) {
                const ChannelSeconds* c = &a->channel(slot);
                plot.lines.push_back(perSecond(names_[slot], ChannelColours[slot],
                                               [c, value](int i) { return value(*c, i); }));
            }
    };
    switch (panel) {
    case Panel::Volumes:
        plot.title = tr("Volumes, as commanded (0-255)");
        if (a != nullptr) {
            plot.lines.push_back(perSecond(tr("output 00"), Output00Colour, [a](int i) {
                return static_cast<double>(a->perSecond()[i].volume00);
            }));
            plot.lines.push_back(perSecond(tr("output 01"), Output01Colour, [a](int i) {
                return static_cast<double>(a->perSecond()[i].volume01);
            }));
        }
        break;
    case Panel::Share:
        plot.title = tr("Output 00's share of the two volumes (%)");
        plot.guide = 50.0;
        if (a != nullptr)
            plot.lines.push_back(perSecond(tr("output 00"), Output00Colour, [a](int i) {
                const float s = a->share00()[i];
                return s < 0.0F ? NaN : 100.0 * s;
            }));
        break;
    case Panel::Totals:
        plot.title = tr("Total amplitude, 1-35 Hz (µV)");
        channels([](const ChannelSeconds& c, int i) { return c.total[i] * c.microvoltsPerCount; });
        break;
    case Panel::Band: {
        const BandRange& band = BandBins[band_];
        plot.title =
            tr("%1 band, %2-%3 Hz (µV)")
                .arg(QString::fromLatin1(band.name).replace(0, 1, QChar(band.name[0]).toUpper()))
                .arg(band.first)
                .arg(band.last);
        const int b = band_;
        channels(
            [b](const ChannelSeconds& c, int i) { return c.bands[i][b] * c.microvoltsPerCount; });
        break;
    }
    case Panel::Contact:
        plot.title = tr("Samples outside 5..1020 (%), poor contact shaded");
        channels([](const ChannelSeconds& c, int i) { return 100.0 * c.outOfRangeShare[i]; });
        if (a != nullptr)
            plot.shaded = a->poorSpans();
        break;
    }
    if (panel == Panel::Share || panel == Panel::Contact)
        plot.yTo = 100.0;
    else
        plot.yTo = PlotPainter::roundTop(
            PlotPainter::highest(plot.lines, 0.0, std::max<double>(n, 1)) * 1.05);
    return plot;
}

void SessionPanels::refresh() {
    double width = 0.0;
    for (int p = 0; p < Panels; ++p) {
        PlotView* view = views_[static_cast<std::size_t>(p)];
        view->setPlot(plotOf(static_cast<Panel>(p)));
        width = std::max(width, view->wantedAxisWidth());
    }
    for (PlotView* view : views_)
        view->setAxisWidth(width);
}

} // namespace solvane::viewer
