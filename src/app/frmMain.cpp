#include "frmMain.h"

#include "app/ScalpMapWidget.h"
#include "app/Version.h"
#include "app/frmOptions.h"
#include "checked/RunTimeError.h"
#include "config/ProfileFile.h"
#include "config/globals.h"
#include "config/processINIFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMessageBox>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <cstdio>

#include <xcb/xcb.h>

namespace solvane {

namespace {

void showSolvaneMessage(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Solvane"), text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace

frmMain::frmMain(std::unique_ptr<KardemoDLL> device, QWidget* parent)
    : QWidget(parent), device_(std::move(device)), commands_(*device_),
      analysis_(settings, static_cast<ScalpMapView&>(*this), commands_),
      controller_(
          settings, *device_, static_cast<RunView&>(*this), eventLoop_,
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
    optionsDialog_ = [this](QWidget* owner) {
        frmOptions dialog(owner, *device_);
        dialog.exec();
    };
}

frmMain::~frmMain() = default;

void frmMain::setMessageBoxHandler(std::function<void(const QString&)> handler) {
    messageBox_ = std::move(handler);
}
void frmMain::setClock(std::function<int64_t()> monotonicMicroseconds) {
    eventLoop_.setClock(std::move(monotonicMicroseconds));
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
    // The whole window, frame included. The frame is known only once the window manager has
    // framed the shown window; until then it is the client area that is centred.
    QRect outer = frameGeometry();
    outer.moveCenter(screen->availableGeometry().center());
    move(outer.topLeft());
}

void frmMain::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // The window manager frames the window after it is shown and then moves it: the first
    // move that shows a frame is the moment to centre the whole window.
    if (!centredWithFrame_ && isVisible() && frameGeometry() != geometry()) {
        centredWithFrame_ = true;
        centreOnScreen();
    }
}

void frmMain::paintEvent(QPaintEvent* event) {
    // The colour behind a window's contents: the palette's base colour, not its window
    // colour, which is that of the buttons' faces.
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Base));
}

void frmMain::draw(const int32_t (&nChannels)[KARDEMO_PACKET_ELEMENTS]) {
    analysis_.draw(nChannels);
}

void frmMain::drawThePieChartsAndGenerateTones(
    const int32_t (&nChannels)[KARDEMO_PACKET_ELEMENTS]) {
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

void frmMain::onTerminationSignal(int signalNumber) {
    if (terminatingSignal_ != 0)
        return;
    terminatingSignal_ = signalNumber;
    if (ended_) {
        // Ending after an error, its message still open (a settings file that cannot be read,
        // say): the message goes, and the program ends by the signal.
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->done(QDialog::Rejected);
        return;
    }
    // During a run this returns into the loop, which shuts the DSU down and then closes the
    // window again; a message box or dialog that is open goes with the program.
    close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    bool mayClose = true;
    if (!ended_)
        guarded([this, &mayClose] { mayClose = controller_.requestClose(); });
    if (!mayClose && !ended_) {
        event->ignore(); // the running loop shuts the DSU down, then the window closes
        return;
    }
    event->accept();
    if (terminatingSignal_ != 0 && !ended_)
        programEnd_(128 + terminatingSignal_);
}

bool frmMain::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (eventType == "xcb_generic_event_t" && message != nullptr) {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) == XCB_DESTROY_NOTIFY &&
            static_cast<const xcb_destroy_notify_event_t*>(message)->window == winId()) {
            // Closed after this event has been handled; the native window is gone already.
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
    }
    return QWidget::nativeEvent(eventType, message, result);
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
    // A program that is being ended by a signal must not wait for somebody to press OK.
    if (terminatingSignal_ != 0) {
        std::fprintf(stderr, "Solvane: %s\n", text.c_str());
        return;
    }
    messageBox_(QString::fromStdString(text));
}

// A change is painted with the next event pass, or at once by repaintNow. A map that has not
// changed since the last repaintNow is not painted again: the contact verdict comes twice a
// second during a run and mostly repeats the last one.
template <typename Change> void frmMain::changeMap(int element, Change&& change) {
    const ScalpMapModel::Position before = scalpMapModel_.position(element);
    change();
    if (scalpMapModel_.position(element) == before)
        return;
    mapChanged_ = true;
    scalpMap_->update();
}
void frmMain::setFillColour(int element, uint32_t colour) {
    changeMap(element, [&] { scalpMapModel_.setFillColour(element, colour); });
}
void frmMain::setFillTransparent(int element) {
    changeMap(element, [&] { scalpMapModel_.setFillTransparent(element); });
}
void frmMain::setTextColour(int element, uint32_t colour) {
    changeMap(element, [&] { scalpMapModel_.setTextColour(element, colour); });
}
void frmMain::repaintNow() {
    if (!mapChanged_)
        return;
    mapChanged_ = false;
    repaint();
}

} // namespace solvane
