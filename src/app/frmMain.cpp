#include "frmMain.h"

#include "app/ScalpMapWidget.h"
#include "app/Version.h"
#include "config/ProfileFile.h"
#include "config/frmOptions.h"
#include "config/globals.h"
#include "config/processINIFile.h"
#include "runtime/RunTimeError.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <chrono>
#include <thread>

namespace solvane {

namespace {

void showSolvaneMessage(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Solvane"), text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace

frmMain::frmMain(std::unique_ptr<KardemoDLL> device, QWidget* parent)
    : QWidget(parent), device_(std::move(device)),
      analysis_(settings, static_cast<ScalpMapView&>(*this), static_cast<AveCommandSink&>(*this)),
      controller_(
          settings, *device_, static_cast<RunView&>(*this),
          [this] { analysis_.SilenceEntrainment(); }, [] { processINIFile::SaveSettings(); }) {
    setWindowTitle(QStringLiteral("Solvane by Kardemo"));
    setWindowIcon(QIcon(QStringLiteral(":/solvane.png")));
    setFixedSize(twipsToPixels(ClientWidthTwips), twipsToPixels(ClientHeightTwips));

    // Children are stacked in the order they are made: the map first, the buttons above it.
    scalpMap_ = new ScalpMapWidget(scalpMapModel_, this);

    // Created in keyboard order: Start first, so that it has the focus when the window opens.
    cmdAction_ = new QPushButton(QStringLiteral("Start"), this);
    cmdAction_->setObjectName(QStringLiteral("cmdAction"));
    cmdAction_->setGeometry(ScalpMapWidget::pixels(scalpmap::cmdActionBox));
    cmdOptions_ = new QPushButton(QStringLiteral("Options"), this);
    cmdOptions_->setObjectName(QStringLiteral("cmdOptions"));
    cmdOptions_->setGeometry(ScalpMapWidget::pixels(scalpmap::cmdOptionsBox));
    setTabOrder(cmdAction_, cmdOptions_);
    cmdAction_->setFocus();

    connect(cmdAction_, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdAction_Click(); }); });
    connect(cmdOptions_, &QPushButton::clicked, this,
            [this] { guarded([this] { cmdOptions_Click(); }); });

    messageBox_ = [this](const QString& text) { showSolvaneMessage(this, text); };
    programEnd_ = [](int exitCode) { QCoreApplication::exit(exitCode); };
    clock_ = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    optionsDialog_ = [this](QWidget* owner) {
        frmOptions dialog(owner, *device_);
        dialog.exec();
    };
}

frmMain::~frmMain() = default;

void frmMain::setMessageBoxHandler(std::function<void(const QString&)> handler) {
    messageBox_ = std::move(handler);
}
void frmMain::setClock(std::function<int64_t()> monotonicMilliseconds) {
    clock_ = std::move(monotonicMilliseconds);
}
void frmMain::setProgramEndHandler(std::function<void(int)> handler) {
    programEnd_ = std::move(handler);
}
void frmMain::setOptionsDialogHandler(std::function<void(QWidget*)> handler) {
    optionsDialog_ = std::move(handler);
}

bool frmMain::Form_Load() {
    guarded([this] {
        // The outer size of 5280 by 6690 twips is this client area plus the window frame,
        // which belongs to the window manager here. The window opens centred on the screen.
        centreOnScreen();
        setWindowTitle(QStringLiteral("Solvane by Kardemo v%1.%2.%3")
                           .arg(version::Major)
                           .arg(version::Minor)
                           .arg(version::Revision));
        processINIFile::LoadSettings();
        try {
            processINIFile::SaveSettings();
        } catch (const ProfileWriteError& error) {
            messageBox_(QString::fromStdString(error.what()));
        }
        LoadScalpPositionNames();
        analysis_.ApplyChannelSelection();
        analysis_.FirstDrawDone = 0;
    });
    return !ended_;
}

void frmMain::centreOnScreen() {
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect placed(QPoint(0, 0), size());
    placed.moveCenter(screen->availableGeometry().center());
    move(placed.topLeft());
}

void frmMain::draw(const int32_t (&nChannels)[8]) {
    analysis_.draw(nChannels);
}

void frmMain::drawThePieChartsAndGenerateTones(const int32_t (&nChannels)[8]) {
    analysis_.drawThePieChartsAndGenerateTones(nChannels);
}

void frmMain::cmdAction_Click() {
    controller_.cmdActionClick();
    if (controller_.closePending() && !controller_.loopRunning())
        close();
}

void frmMain::cmdOptions_Click() {
    optionsDialog_(this);
    analysis_.ApplyChannelSelection();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (ended_) {
        event->accept();
        return;
    }
    bool mayClose = true;
    guarded([this, &mayClose] { mayClose = controller_.requestClose(); });
    if (mayClose || ended_)
        event->accept();
    else
        event->ignore(); // the running loop shuts the DSU down, then the window closes
}

template <typename Handler> void frmMain::guarded(Handler&& handler) {
    if (ended_)
        return;
    try {
        handler();
    } catch (const RunTimeError& error) {
        fatalError(QString::fromStdString(error.what()));
    } catch (const std::exception& error) {
        fatalError(QString::fromStdString(error.what()));
    }
}

void frmMain::fatalError(const QString& message) {
    // The AVE output must not keep running once the program is gone.
    controller_.emergencyShutDown();
    ended_ = true;
    messageBox_(message + QStringLiteral("\n\nSolvane will now close."));
    hide();
    programEnd_(1);
}

void frmMain::setActionCaption(std::string_view caption) {
    cmdAction_->setText(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

void frmMain::setOptionsEnabled(bool enabled) {
    cmdOptions_->setEnabled(enabled);
}

void frmMain::showMessage(const std::string& text) {
    messageBox_(QString::fromStdString(text));
}

void frmMain::processEvents() {
    QCoreApplication::processEvents();
}

void frmMain::sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int64_t frmMain::monotonicMilliseconds() {
    return clock_();
}

// A change is painted with the next event pass, or at once by repaintNow.
void frmMain::setFillColour(int element, uint32_t colour) {
    scalpMapModel_.setFillColour(element, colour);
    scalpMap_->update();
}
void frmMain::setFillTransparent(int element) {
    scalpMapModel_.setFillTransparent(element);
    scalpMap_->update();
}
void frmMain::setTextColour(int element, uint32_t colour) {
    scalpMapModel_.setTextColour(element, colour);
    scalpMap_->update();
}
void frmMain::repaintNow() {
    repaint();
}

void frmMain::sendCommand(const char* command) {
    device_->sendCommand(command);
}

} // namespace solvane
