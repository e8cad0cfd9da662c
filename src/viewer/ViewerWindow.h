#pragma once
// The viewer's window: the sessions of a folder with their history figures, and one session's
// plots on a common time axis (volumes, output 00's share, the channels' totals, a band,
// contact) with a crosshair that reads out a second, zoom and scroll, and the spectrum of the
// second under the crosshair. A running session is followed once a second by reading what
// its files gained; nothing is ever written beside them.

#include "viewer/SessionAnalysis.h"
#include "viewer/SessionHistory.h"

#include <QMainWindow>
#include <QtCharts/QChartView>

#include <filesystem>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QLineSeries;
class QTableWidget;
class QTimer;
class QValueAxis;

namespace solvane::viewer {

/// A chart view over seconds that reports the second under the mouse, zooms with the wheel
/// and scrolls with the wheel when Shift is held.
class TimeChartView : public QChartView {
    Q_OBJECT
public:
    explicit TimeChartView(QChart* chart, QWidget* parent = nullptr);

signals:
    void hovered(double second);
    void clicked(double second);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

class ViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    ViewerWindow(std::filesystem::path folder, const std::filesystem::path& first = {},
                 QWidget* parent = nullptr);
    ~ViewerWindow() override;

    /// Opens `recording`; false (with the reason shown) when it cannot be read.
    bool openSession(const std::filesystem::path& recording);
    /// Reads what the open session and the folder gained; the timer calls it once a second.
    void follow();
    /// Writes the open session's report, asking where.
    void saveReport();

    [[nodiscard]] int shownSeconds() const noexcept { return shown_; }

signals:
    /// The menu's Set-up entry was chosen.
    void setUpRequested();

private:
    struct Panel {
        QChart* chart = nullptr;
        TimeChartView* view = nullptr;
        QValueAxis* x = nullptr;
        QValueAxis* y = nullptr;
        QLineSeries* cursor = nullptr;
        std::vector<QLineSeries*> lines;
        double top = 0.0; ///< the highest value shown
    };

    Panel& addPanel(const QString& title, const QStringList& names);
    void refreshHistory();
    void showRow(int row);
    void updateOpenRow();
    void appendSeconds(bool all);
    void showFacts();
    void setTimeRange(double from, double to);
    void showSecond(double second);
    void showSpectrum(int second);
    void updateHistoryChart();

    std::filesystem::path folder_;
    std::unique_ptr<SessionReader> reader_;
    std::unique_ptr<SessionAnalysis> analysis_;
    std::vector<SessionSummary> history_;
    std::vector<QStringList> rowTexts_; ///< what the session list shows, row by row
    std::vector<Panel> panels_;
    int shown_ = 0;
    int spectrumSecond_ = -1;
    bool rangeBusy_ = false;
    bool atEnd_ = true;
    QTimer* timer_ = nullptr;
    QTableWidget* sessions_ = nullptr;
    QLabel* facts_ = nullptr;
    QLabel* readout_ = nullptr;
    QComboBox* band_ = nullptr;
    QChart* spectrum_ = nullptr;
    std::vector<QLineSeries*> spectrumLines_;
    QChart* historyChart_ = nullptr;
    QLabel* historyFaults_ = nullptr; ///< the sessions whose recording stopped, in words
};

} // namespace solvane::viewer
