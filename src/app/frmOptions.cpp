#include "frmOptions.h"

#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "config/globals.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "checked/Checked.h"

#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSlider>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace solvane {

namespace {

QRect twipsRect(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

QGroupBox* makeFrame(QWidget* parent, const char* name, const QString& caption, QRect box) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setGeometry(box);
    return frame;
}

QSlider* makeSlider(QWidget* frame, const char* name, int maximum, int pageStep, int tickEvery) {
    auto* slider = new QSlider(Qt::Horizontal, frame);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setGeometry(twipsRect(120, 240, 3615, 675));
    slider->setRange(0, maximum);
    slider->setSingleStep(1);
    slider->setPageStep(pageStep);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(tickEvery);
    return slider;
}

QComboBox* makePickList(QWidget* parent, const char* name, QRect box) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(false);
    combo->setGeometry(box);
    return combo;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect box) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(box);
    return button;
}

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// Asks the X11 window manager to leave the window off the task bar. The state has to be on the
// window before it is mapped; Qt adds its own states (modal) to it when it maps the window.
void askToBeLeftOffTheTaskBar(QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* const connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr)
        return;
    const xcb_atom_t skipTaskbar = atomNamed(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window.winId()),
                        atomNamed(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 1, &skipTaskbar);
    xcb_flush(connection);
}

} // namespace

frmOptions::frmOptions(QWidget* owner, KardemoDLL& device)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Solvane by Kardmo - Options"));
    setModal(true);
    setFixedSize(ClientWidthTwips / 15, ClientHeightTwips / 15);

    // Created in the order of their tab indices; the tab chain is set below all the same.
    FrameVolume_ =
        makeFrame(this, "FrameVolume", QStringLiteral("Volume"), twipsRect(120, 120, 3855, 975));
    SliderVolume_ = makeSlider(FrameVolume_, "SliderVolume", 100, 10, 10);
    FrameBaseFrequency_ = makeFrame(this, "FrameBaseFrequency", QStringLiteral("Base Frequency"),
                                    twipsRect(120, 1200, 3855, 975));
    SliderBaseFrequency_ = makeSlider(FrameBaseFrequency_, "SliderBaseFrequency", 1000, 50, 100);
    FrameDesiredFrequency_ =
        makeFrame(this, "FrameDesiredFrequency", QStringLiteral("Desired Frequency"),
                  twipsRect(120, 2280, 3855, 975));
    SliderDesiredFrequency_ =
        makeSlider(FrameDesiredFrequency_, "SliderDesiredFrequency", 35, 5, 5);
    btnContinue_ = makeButton(this, "btnContinue", QStringLiteral("Continue"),
                              twipsRect(2640, 4440, 1335, 615));
    btnCancel_ =
        makeButton(this, "btnCancel", QStringLiteral("Cancel"), twipsRect(1200, 4440, 1335, 615));
    FrameScalpPositions_ = makeFrame(this, "FrameScalpPositions", QStringLiteral("Scalp Position"),
                                     twipsRect(120, 3360, 3855, 975));
    Combo1_ = makePickList(FrameScalpPositions_, "Combo1", twipsRect(1320, 360, 1335, 315));
    Combo1_->setProperty("index", 0); // element 0 of its control array
    ComboCOMPorts_ = makePickList(this, "ComboCOMPorts", twipsRect(120, 4680, 975, 315));
    Label4_ = new QLabel(QStringLiteral("COM Port:"), this);
    Label4_->setObjectName(QStringLiteral("Label4"));
    Label4_->setAlignment(Qt::AlignCenter);
    Label4_->setGeometry(twipsRect(120, 4440, 975, 255));

    QWidget* const tabOrder[] = {SliderVolume_, SliderBaseFrequency_, SliderDesiredFrequency_,
                                 btnContinue_,  btnCancel_,           Combo1_,
                                 ComboCOMPorts_};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // Enter presses Cancel unless the focus is on Continue, which then takes Enter itself.
    btnCancel_->setDefault(true);

    volume_ = {FrameVolume_, SliderVolume_, "Volume (", "%)", &settings.AVEVolume};
    baseFrequency_ = {FrameBaseFrequency_, SliderBaseFrequency_, "Base Frequency (", "Hz)",
                      &settings.AVEFrequency};
    desiredFrequency_ = {FrameDesiredFrequency_, SliderDesiredFrequency_, "Desired Frequency (",
                         "Hz)", &settings.AVEDesiredFrequency};

    messageBox_ = [this](const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Solvane"), text, QMessageBox::Ok,
                        this);
        box.exec();
    };

    Form_Load(device);

    for (const SliderBinding* binding : {&volume_, &baseFrequency_, &desiredFrequency_}) {
        connect(binding->slider, &QSlider::valueChanged, this,
                [this, binding] { sliderReaction(*binding); });
        // A setting beyond the slider's range shows at the nearest end; pushing the slider
        // against that end changes no value, yet the user has chosen what it shows.
        const auto chosenAtEnd = [this, binding] {
            if (binding->slider->sliderPosition() == binding->slider->value() &&
                *binding->setting != binding->slider->value())
                sliderReaction(*binding);
        };
        connect(binding->slider, &QSlider::actionTriggered, this, chosenAtEnd);
        connect(binding->slider, &QSlider::sliderReleased, this, chosenAtEnd);
    }
    connect(btnContinue_, &QPushButton::clicked, this, [this] { btnContinue_Click(); });
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);

    SliderVolume_->setFocus();
    centreOnOwner();
}

void frmOptions::centreOnOwner() {
    QWidget* const owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    if (owner == nullptr)
        return;
    // The dialog's frame is not known before it is shown; the owner's comes from the same
    // window manager and is the better guess (none at all without a window manager).
    const QRect ownerFrame = owner->frameGeometry();
    const QRect ownerClient = owner->geometry();
    const QMargins frame(
        ownerClient.left() - ownerFrame.left(), ownerClient.top() - ownerFrame.top(),
        ownerFrame.right() - ownerClient.right(), ownerFrame.bottom() - ownerClient.bottom());
    QRect outer = QRect(QPoint(0, 0), size()).marginsAdded(frame);
    outer.moveCenter(ownerFrame.center());
    if (const QScreen* screen = owner->screen()) {
        const QRect available = screen->availableGeometry();
        outer.moveLeft(
            std::clamp(outer.left(), available.left(),
                       std::max(available.left(), available.right() - outer.width() + 1)));
        outer.moveTop(
            std::clamp(outer.top(), available.top(),
                       std::max(available.top(), available.bottom() - outer.height() + 1)));
    }
    move(outer.topLeft());
}

void frmOptions::setMessageBoxHandler(std::function<void(const QString&)> handler) {
    messageBox_ = std::move(handler);
}

void frmOptions::Form_Load(KardemoDLL& device) {
    LoadScalpPositionNames();
    LoadVolumeSlider();
    LoadFrequencySliders();

    for (const std::string& name : ScalpPositionNames)
        Combo1_->addItem(QString::fromStdString(name));
    const int16_t position = settings.AVEChannel1;
    Combo1_->setCurrentIndex(position > 0 && position <= Combo1_->count() ? position - 1 : -1);

    fillPortList(device);
}

void frmOptions::LoadVolumeSlider() {
    loadSlider(volume_);
}

void frmOptions::LoadFrequencySliders() {
    loadSlider(baseFrequency_);
    loadSlider(desiredFrequency_);
}

void frmOptions::loadSlider(const SliderBinding& binding) {
    const int16_t value = *binding.setting;
    binding.slider->setValue(value); // a value outside the range shows as the nearest end
    if (binding.slider->value() == value) {
        sliderReaction(binding);
        return;
    }
    // The setting changes only when the user moves the slider, so the caption keeps telling
    // the value that is in force.
    binding.frame->setTitle(QString::fromLatin1(binding.prefix) + QString::number(value) +
                            QString::fromLatin1(binding.suffix));
}

void frmOptions::sliderReaction(const SliderBinding& binding) {
    const int value = binding.slider->value();
    binding.frame->setTitle(QString::fromLatin1(binding.prefix) + QString::number(value) +
                            QString::fromLatin1(binding.suffix));
    *binding.setting = checked::to16(value, binding.slider->objectName().toLatin1().constData());
}

void frmOptions::fillPortList(KardemoDLL& device) {
    int32_t count = -1;
    try {
        const KardemoFunctions& functions = device.functions();
        count = functions.ListActiveCOMPorts(ComPortSlots);
    } catch (const DeviceLibraryError&) {
        // Without the library there is simply no port to list; a run reports the reason.
        return;
    }
    // Only slots 0..500 exist, whatever the library claims.
    const int last = static_cast<int>(std::min<int32_t>(count, PortSlotCount - 1));
    int selected = -1;
    for (int slot = 0; slot <= last; ++slot) {
        const int32_t port = ComPortSlots[slot];
        if (port <= 0)
            continue;
        ComboCOMPorts_->addItem(QStringLiteral("Com") + QString::number(port), port);
        if (port == settings.ActiveComPort + 1)
            selected = ComboCOMPorts_->count() - 1;
    }
    // Unlike a fresh list, which selects its first entry, no match means no selection.
    ComboCOMPorts_->setCurrentIndex(selected);
}

void frmOptions::btnContinue_Click() {
    settings.AVEChannel1 = checked::to16(Combo1_->currentIndex() + 1, "btnContinue_Click");
    if (ComboCOMPorts_->currentIndex() >= 0) {
        const long long port = ComboCOMPorts_->currentData().toLongLong();
        // A port number beyond what the setting can hold cannot be handed to the library.
        if (port - 1 <= std::numeric_limits<int16_t>::max())
            settings.ActiveComPort = static_cast<int16_t>(port - 1);
    }
    try {
        processINIFile::SaveSettings();
    } catch (const ProfileWriteError& error) {
        messageBox_(QString::fromStdString(error.what()));
    }
    accept();
}

void frmOptions::showEvent(QShowEvent* event) {
    askToBeLeftOffTheTaskBar(*this); // a tool window of the main window, not one of its own
    QDialog::showEvent(event);
}

void frmOptions::keyPressEvent(QKeyEvent* event) {
    // Esc cancels with any shift state, not only bare.
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace solvane
