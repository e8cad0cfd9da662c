#pragma once
// The viewer's window: the sessions of a folder, and one session's facts, its time panels on
// one axis with a crosshair that reads out a second, and the spectrum of that second; the
// History compares the sessions. A running session is followed once a second by reading what
// its files gained; nothing is ever written beside them. The window opens within the screen
// and keeps the size the user gives it: no text it shows widens it.

#include "viewer/SessionFollower.h"
#include "viewer/SessionHistory.h"
#include "viewer/SessionReport.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <filesystem>
#include <memory>

class QComboBox;
class QLabel;
class QLayout;
class QSplitter;

namespace solvane::viewer {

class HistoryView;
class PlotView;
class SessionList;
class SessionPanels;

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
    /// Asks for a note and a file, and writes the open session's report there.
    void saveReport();
    /// Writes the open session's report to `file`; the message says where it went, or why
    /// it did not (also when no session can be read).
    bool writeReportTo(const QString& file, const ReportNotes& notes, QString& message);

    [[nodiscard]] SessionPanels& panels() const noexcept { return *panels_; }

signals:
    /// The menu's Set-up entry was chosen.
    void setUpRequested();

private:
    /// The Session tab: the facts, the tools, the readout, the panels and the spectrum.
    QWidget* sessionPage();
    /// The band chosen, Whole run and Report...
    QLayout* sessionTools();
    void placeWithinScreen(QSplitter& main);
    void refreshHistory();
    void showSession(bool all);
    void showFacts();
    void showSecond(int second);
    void showSpectrum();

    std::filesystem::path folder_;
    std::unique_ptr<SessionFollower> session_;
    QString problem_;              ///< why the chosen session cannot be read
    std::array<QString, 4> names_; ///< the channels by their scalp positions
    int factsShownAt_ = -1;
    SessionList* list_ = nullptr;
    HistoryView* history_ = nullptr;
    SessionPanels* panels_ = nullptr;
    PlotView* spectrum_ = nullptr;
    QLabel* facts_ = nullptr;
    QLabel* readout_ = nullptr;
    QComboBox* band_ = nullptr;
};

} // namespace solvane::viewer
