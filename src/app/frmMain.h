#pragma once
// The main window: the Start/Stop and Options buttons and the scalp map. Its handlers start
// and stop runs (RunController), open the options dialog, and hand every packet to the
// GUI-free PacketAnalysis, whose AVE commands go to the device library (DeviceCommandSink);
// the run's event passes and clock are a WindowEventLoop. Run-time errors raised in any handler end
// in one top-level handler that silences and closes the DSU, says what went wrong and ends the
// program. A termination signal closes the window, a run ending the orderly way first, and then
// ends the program.

#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "app/DeviceCommandSink.h"
#include "app/ScalpMapLayout.h"
#include "app/ScalpMapModel.h"
#include "app/WindowEventLoop.h"
#include "device/KardemoDLL.h"
#include "device/kardemo.h"
#include "run/RunController.h"
#include "run/RunView.h"

#include <QWidget>

#include <functional>
#include <memory>

class QPushButton;

namespace solvane {

class ScalpMapWidget;

class frmMain : public QWidget, private RunView, private ScalpMapView {
    Q_OBJECT

public:
    explicit frmMain(std::unique_ptr<KardemoDLL> device, QWidget* parent = nullptr);
    ~frmMain() override;

    /// The load handler: caption, settings read and written back, channel selection. False
    /// when the program must end (the reason has been shown).
    bool Form_Load();

    /// Per packet, from the acquisition loop.
    void draw(const int32_t (&nChannels)[KARDEMO_PACKET_ELEMENTS]) override;
    void drawThePieChartsAndGenerateTones(const int32_t (&nChannels)[KARDEMO_PACKET_ELEMENTS]);

    /// SIGTERM, SIGHUP or SIGINT arrived: the window is closed as by its close button, and once
    /// it has closed the program ends with the status 128 + `signalNumber`. Later signals
    /// change nothing.
    void onTerminationSignal(int signalNumber);

    // Seams for tests: how messages are shown, how the program ends after a run-time error,
    // which dialog the Options button opens and the clock a run's stall is measured on.
    // Defaults: QMessageBox, QCoreApplication::exit, frmOptions, std::chrono::steady_clock.
    void setMessageBoxHandler(std::function<void(const QString&)> handler);
    void setClock(std::function<int64_t()> monotonicMicroseconds);
    void setProgramEndHandler(std::function<void(int exitCode)> handler);
    void setOptionsDialogHandler(std::function<void(QWidget* owner)> handler);

    [[nodiscard]] QPushButton* cmdAction() const { return cmdAction_; }
    [[nodiscard]] QPushButton* cmdOptions() const { return cmdOptions_; }
    [[nodiscard]] RunController& runController() { return controller_; }
    [[nodiscard]] PacketAnalysis& analysis() { return analysis_; }
    [[nodiscard]] const ScalpMapModel& scalpMapModel() const { return scalpMapModel_; }
    [[nodiscard]] ScalpMapWidget* scalpMap() const { return scalpMap_; }

    /// Client size in twips, fixed.
    static constexpr int ClientWidthTwips = scalpmap::ClientArea.width;
    static constexpr int ClientHeightTwips = scalpmap::ClientArea.height;

protected:
    void closeEvent(QCloseEvent* event) override;
    /// A window destroyed from outside (by a failing window manager, a remote session, a
    /// tool) never sends a close request: it is closed as if the user had closed it, so that a
    /// run ends the orderly way and the program ends.
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void cmdAction_Click();
    void cmdOptions_Click();
    template <typename Handler> void guarded(Handler&& handler);
    void fatalError(const QString& message);
    void centreOnScreen();

    // RunView
    void setActionCaption(std::string_view caption) override;
    void setOptionsEnabled(bool enabled) override;
    void showMessage(const std::string& text) override;
    // ScalpMapView
    void setFillColour(int element, uint32_t colour) override;
    void setFillTransparent(int element) override;
    void setTextColour(int element, uint32_t colour) override;
    void repaintNow() override;
    template <typename Change> void changeMap(int element, Change&& change);

    std::unique_ptr<KardemoDLL> device_;
    DeviceCommandSink commands_;
    WindowEventLoop eventLoop_;
    PacketAnalysis analysis_;
    RunController controller_;
    ScalpMapModel scalpMapModel_;
    ScalpMapWidget* scalpMap_ = nullptr;
    QPushButton* cmdAction_ = nullptr;
    QPushButton* cmdOptions_ = nullptr;
    std::function<void(const QString&)> messageBox_;
    std::function<void(int)> programEnd_;
    std::function<void(QWidget*)> optionsDialog_;
    bool ended_ = false;
    int terminatingSignal_ = 0;     ///< the signal that is ending the program, or 0
    bool mapChanged_ = false;       ///< the scalp map model changed since the last repaintNow
    bool centredWithFrame_ = false; // centred again once the window manager's frame was known
};

} // namespace solvane
