// The options dialog: what it shows when it opens, what its sliders change, and what each way
// of closing it stores and writes; and that the main window applies the channel selection
// again after it closes.

#include "app/frmOptions.h"
#include "app/frmMain.h"
#include "config/Settings.h"
#include "config/globals.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "support/FakeKardemo.h"
#include "support/RunSettings.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <optional>

using namespace solvane;
using solvane::testing::FakeKardemo;
using solvane::testing::TempFolder;

namespace {

const QStringList PositionNames = {"Fp1", "Fpz", "Fp2", "F7", "F3", "Fz", "F4",
                                   "F8",  "T3",  "C3",  "Cz", "C4", "T4", "T5",
                                   "P3",  "PZ",  "P4",  "T6", "O1", "Oz", "O2"};

// A settings file in hand-edited form whose values all differ from the ones in memory, so that
// a write shows in every key.
const std::string StaleFile = "; kept\n[Kardemo]\nDSUSampleRate=128\nBMFFTBinSize=3\n"
                              "ActiveComPort=9\n[AVE]\nAVEVolume=40\nAVEFrequency=300\n"
                              "AVEDesiredFrequency=20\nAVEChannel1=5\nAVEChannel2=6\n"
                              "AVEChannel3=7\nAVEChannel4=8\n";

Settings defaults() {
    Settings s = solvane::testing::runSettings(1);
    s.ActiveComPort = 2;
    return s;
}

template <typename T> T* control(const QWidget& dialog, const char* name) {
    return dialog.findChild<T*>(QString::fromLatin1(name));
}

QString caption(const QWidget& dialog, const char* frame) {
    auto* box = control<QGroupBox>(dialog, frame);
    return box != nullptr ? box->title() : QStringLiteral("<missing>");
}

QStringList entries(const QComboBox& combo) {
    QStringList texts;
    for (int i = 0; i < combo.count(); ++i)
        texts << combo.itemText(i);
    return texts;
}

} // namespace

class frmOptionsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opening_captionsAndSliders_data();
    void opening_captionsAndSliders();
    void opening_positionList_data();
    void opening_positionList();
    void opening_portList_data();
    void opening_portList();
    void opening_withoutDeviceLibrary();
    void opening_focusAndTabOrder();
    void opening_layout_data();
    void opening_layout();
    void opening_window();
    void opening_keptOnScreenNearItsEdge();

    void sliders_moveChangesSettingAndCaption_data();
    void sliders_moveChangesSettingAndCaption();
    void sliders_hundredThenCancel();
    void sliders_handleHeldAtItsEnd();

    void closing_continue_data();
    void closing_continue();
    void closing_withoutStoring_data();
    void closing_withoutStoring();
    void closing_writeFailureIsShown();
    void closing_mainWindowAppliesSelection_data();
    void closing_mainWindowAppliesSelection();

private:
    frmOptions& open();

    std::optional<TempFolder> folder_;
    std::unique_ptr<KardemoDLL> device_;
    std::unique_ptr<QWidget> owner_;
    std::unique_ptr<frmOptions> dialog_;
};

void frmOptionsTest::init() {
    FakeKardemo::instance().reset();
    FakeKardemo::instance().ports = {1, 3, 4};
    FakeKardemo::instance().portCount = 2;
    settings = defaults();
    folder_.emplace();
    folder_->write("solvane.ini", StaleFile);
    processINIFile::SetProgramFolder(folder_->path());
    device_ = std::make_unique<KardemoDLL>(FakeKardemo::functions());
    owner_ = std::make_unique<QWidget>();
    owner_->setGeometry(300, 200, 346, 422);
}

void frmOptionsTest::cleanup() {
    dialog_.reset();
    owner_.reset();
    device_.reset();
    folder_.reset();
}

frmOptions& frmOptionsTest::open() {
    dialog_ = std::make_unique<frmOptions>(owner_.get(), *device_);
    dialog_->show();
    return *dialog_;
}

// --- opening -------------------------------------------------------------------------------

void frmOptionsTest::opening_captionsAndSliders_data() {
    QTest::addColumn<int>("volume");
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("desired");
    QTest::addColumn<QList<int>>("sliderValues");
    QTest::addColumn<QStringList>("captions");

    QTest::newRow("defaults") << 12 << 210 << 15 << QList<int>{12, 210, 15}
                              << QStringList{"Volume (12%)", "Base Frequency (210Hz)",
                                             "Desired Frequency (15Hz)"};
    QTest::newRow("range ends") << 0 << 1000 << 35 << QList<int>{0, 1000, 35}
                                << QStringList{"Volume (0%)", "Base Frequency (1000Hz)",
                                               "Desired Frequency (35Hz)"};
    // Out of range: the slider shows the nearest end, caption and setting keep the value.
    QTest::newRow("outside the ranges")
        << 150 << -5 << 36 << QList<int>{100, 0, 35}
        << QStringList{"Volume (150%)", "Base Frequency (-5Hz)", "Desired Frequency (36Hz)"};
}

void frmOptionsTest::opening_captionsAndSliders() {
    QFETCH(int, volume);
    QFETCH(int, base);
    QFETCH(int, desired);
    QFETCH(QList<int>, sliderValues);
    QFETCH(QStringList, captions);
    settings.AVEVolume = static_cast<int16_t>(volume);
    settings.AVEFrequency = static_cast<int16_t>(base);
    settings.AVEDesiredFrequency = static_cast<int16_t>(desired);
    const Settings before = settings;

    frmOptions& dialog = open();

    QCOMPARE(caption(dialog, "FrameVolume"), captions[0]);
    QCOMPARE(caption(dialog, "FrameBaseFrequency"), captions[1]);
    QCOMPARE(caption(dialog, "FrameDesiredFrequency"), captions[2]);
    QCOMPARE(control<QSlider>(dialog, "SliderVolume")->value(), sliderValues[0]);
    QCOMPARE(control<QSlider>(dialog, "SliderBaseFrequency")->value(), sliderValues[1]);
    QCOMPARE(control<QSlider>(dialog, "SliderDesiredFrequency")->value(), sliderValues[2]);
    QVERIFY(settings == before);
}

void frmOptionsTest::opening_positionList_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("selected");
    QTest::newRow("0: none") << 0 << -1;
    QTest::newRow("1: Fp1") << 1 << 0;
    QTest::newRow("16: PZ") << 16 << 15;
    QTest::newRow("21: O2") << 21 << 20;
}

void frmOptionsTest::opening_positionList() {
    QFETCH(int, channel);
    QFETCH(int, selected);
    settings.AVEChannel1 = static_cast<int16_t>(channel);

    frmOptions& dialog = open();

    auto* combo = control<QComboBox>(dialog, "Combo1");
    QVERIFY(combo != nullptr);
    QVERIFY(!combo->isEditable());
    QCOMPARE(entries(*combo), PositionNames);
    QCOMPARE(combo->currentIndex(), selected);
    for (int i = 0; i < 21; ++i)
        QCOMPARE(QString::fromStdString(ScalpPositionNames[static_cast<std::size_t>(i)]),
                 PositionNames[i]);
}

void frmOptionsTest::opening_portList_data() {
    QTest::addColumn<QList<int>>("portSlots");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("activeComPort");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("selected");

    QTest::newRow("no port") << QList<int>{0} << 0 << 0 << QStringList{} << QString();
    QTest::newRow("negative count") << QList<int>{1, 3} << -1 << 0 << QStringList{} << QString();
    QTest::newRow("1, 3, 4 with 2")
        << QList<int>{1, 3, 4} << 2 << 2 << QStringList{"Com1", "Com3", "Com4"} << "Com3";
    QTest::newRow("empty slot skipped")
        << QList<int>{1, 0, 3} << 2 << 2 << QStringList{"Com1", "Com3"} << "Com3";
    QTest::newRow("negative slot skipped")
        << QList<int>{-4, 2} << 1 << 1 << QStringList{"Com2"} << "Com2";
    QTest::newRow("no match") << QList<int>{1, 3, 4} << 2 << 7
                              << QStringList{"Com1", "Com3", "Com4"} << QString();
    QTest::newRow("count ends the list")
        << QList<int>{1, 3, 4} << 1 << 0 << QStringList{"Com1", "Com3"} << "Com1";

    QList<int> full(501, 0);
    full[0] = 5;
    full[500] = 12;
    QTest::newRow("count above 500")
        << full << 40000 << 11 << QStringList{"Com5", "Com12"} << "Com12";
    QTest::newRow("count 501") << full << 501 << 4 << QStringList{"Com5", "Com12"} << "Com5";
}

void frmOptionsTest::opening_portList() {
    QFETCH(QList<int>, portSlots);
    QFETCH(int, count);
    QFETCH(int, activeComPort);
    QFETCH(QStringList, expected);
    QFETCH(QString, selected);
    FakeKardemo::instance().ports.assign(portSlots.begin(), portSlots.end());
    FakeKardemo::instance().portCount = count;
    settings.ActiveComPort = static_cast<int16_t>(activeComPort);

    frmOptions& dialog = open();

    auto* combo = control<QComboBox>(dialog, "ComboCOMPorts");
    QVERIFY(combo != nullptr);
    QVERIFY(!combo->isEditable());
    QCOMPARE(entries(*combo), expected);
    QCOMPARE(combo->currentText(), selected);
    QCOMPARE(combo->currentIndex() >= 0, !selected.isEmpty());
    QCOMPARE(FakeKardemo::instance().callNames(), std::vector<std::string>{"ListActiveCOMPorts"});
}

void frmOptionsTest::opening_withoutDeviceLibrary() {
    folder_->write("libkardemo.so", "not a library");
    device_ = std::make_unique<KardemoDLL>(folder_->path());

    frmOptions& dialog = open();

    QCOMPARE(control<QComboBox>(dialog, "ComboCOMPorts")->count(), 0);
    QCOMPARE(caption(dialog, "FrameVolume"), QStringLiteral("Volume (12%)"));
    QCOMPARE(control<QComboBox>(dialog, "Combo1")->currentText(), QStringLiteral("Fp1"));
    QTest::mouseClick(control<QPushButton>(dialog, "btnContinue"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(folder_->read("solvane.ini") != StaleFile);
}

void frmOptionsTest::opening_focusAndTabOrder() {
    frmOptions& dialog = open();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(dialog, "SliderVolume"));

    QStringList order;
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(order, (QStringList{"SliderBaseFrequency", "SliderDesiredFrequency", "btnContinue",
                                 "btnCancel", "Combo1", "ComboCOMPorts", "SliderVolume"}));
}

void frmOptionsTest::opening_layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");

    QTest::newRow("FrameVolume") << "FrameVolume"
                                 << "frmOptions" << QRect(120, 120, 3855, 975);
    QTest::newRow("SliderVolume") << "SliderVolume"
                                  << "FrameVolume" << QRect(120, 240, 3615, 675);
    QTest::newRow("FrameBaseFrequency") << "FrameBaseFrequency"
                                        << "frmOptions" << QRect(120, 1200, 3855, 975);
    QTest::newRow("SliderBaseFrequency") << "SliderBaseFrequency"
                                         << "FrameBaseFrequency" << QRect(120, 240, 3615, 675);
    QTest::newRow("FrameDesiredFrequency") << "FrameDesiredFrequency"
                                           << "frmOptions" << QRect(120, 2280, 3855, 975);
    QTest::newRow("SliderDesiredFrequency")
        << "SliderDesiredFrequency"
        << "FrameDesiredFrequency" << QRect(120, 240, 3615, 675);
    QTest::newRow("btnContinue") << "btnContinue"
                                 << "frmOptions" << QRect(2640, 4440, 1335, 615);
    QTest::newRow("btnCancel") << "btnCancel"
                               << "frmOptions" << QRect(1200, 4440, 1335, 615);
    QTest::newRow("FrameScalpPositions") << "FrameScalpPositions"
                                         << "frmOptions" << QRect(120, 3360, 3855, 975);
    QTest::newRow("Combo1") << "Combo1"
                            << "FrameScalpPositions" << QRect(1320, 360, 1335, 315);
    QTest::newRow("ComboCOMPorts") << "ComboCOMPorts"
                                   << "frmOptions" << QRect(120, 4680, 975, 315);
    QTest::newRow("Label4") << "Label4"
                            << "frmOptions" << QRect(120, 4440, 975, 255);
}

void frmOptionsTest::opening_layout() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);

    frmOptions& dialog = open();

    auto* widget = dialog.findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    QVERIFY(widget->isVisible());
}

void frmOptionsTest::opening_window() {
    frmOptions& dialog = open();

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Solvane by Kardmo - Options"));
    QCOMPARE(dialog.size(), QSize(274, 348));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(dialog.isModal());
    const Qt::WindowFlags flags = dialog.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    // Centred on the owner; the offscreen platform shifts a moved window by its 2-pixel frame.
    const QPoint offCentre = dialog.frameGeometry().center() - owner_->frameGeometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 4,
             qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));

    QCOMPARE(caption(dialog, "FrameScalpPositions"), QStringLiteral("Scalp Position"));
    QCOMPARE(control<QPushButton>(dialog, "btnContinue")->text(), QStringLiteral("Continue"));
    QCOMPARE(control<QPushButton>(dialog, "btnCancel")->text(), QStringLiteral("Cancel"));
    QVERIFY(control<QPushButton>(dialog, "btnCancel")->isDefault());
    auto* label = control<QLabel>(dialog, "Label4");
    QCOMPARE(label->text(), QStringLiteral("COM Port:"));
    QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    for (const char* name : {"SliderVolume", "SliderBaseFrequency", "SliderDesiredFrequency"})
        QCOMPARE(control<QSlider>(dialog, name)->orientation(), Qt::Horizontal);
    QCOMPARE(control<QSlider>(dialog, "SliderVolume")->maximum(), 100);
    QCOMPARE(control<QSlider>(dialog, "SliderBaseFrequency")->maximum(), 1000);
    QCOMPARE(control<QSlider>(dialog, "SliderDesiredFrequency")->maximum(), 35);
}

void frmOptionsTest::opening_keptOnScreenNearItsEdge() {
    const QRect available = owner_->screen()->availableGeometry();
    owner_->move(available.right() - 100, available.bottom() - 100);

    frmOptions& dialog = open();

    // Up to the 2-pixel frame that the offscreen platform adds to a moved window.
    QVERIFY2(available.adjusted(-4, -4, 4, 4).contains(dialog.frameGeometry()),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(dialog.frameGeometry().x())
                            .arg(dialog.frameGeometry().y())
                            .arg(dialog.width())
                            .arg(dialog.height())));
}

// --- sliders -------------------------------------------------------------------------------

void frmOptionsTest::sliders_moveChangesSettingAndCaption_data() {
    QTest::addColumn<QString>("slider");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<int>("initial");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("moved");
    QTest::addColumn<QString>("caption");

    QTest::newRow("volume to the end")
        << "SliderVolume"
        << "FrameVolume" << 12 << int(Qt::Key_End) << 100 << "Volume (100%)";
    QTest::newRow("volume one down")
        << "SliderVolume"
        << "FrameVolume" << 12 << int(Qt::Key_Left) << 11 << "Volume (11%)";
    QTest::newRow("volume from above the range")
        << "SliderVolume"
        << "FrameVolume" << 150 << int(Qt::Key_Left) << 99 << "Volume (99%)";
    // The slider already sits at the end it is pushed to: the value shown becomes the setting.
    QTest::newRow("volume from above the range to the end")
        << "SliderVolume"
        << "FrameVolume" << 150 << int(Qt::Key_End) << 100 << "Volume (100%)";
    QTest::newRow("volume from above the range a page up")
        << "SliderVolume"
        << "FrameVolume" << 150 << int(Qt::Key_PageUp) << 100 << "Volume (100%)";
    QTest::newRow("base from below the range to the start")
        << "SliderBaseFrequency"
        << "FrameBaseFrequency" << -5 << int(Qt::Key_Home) << 0 << "Base Frequency (0Hz)";
    QTest::newRow("base to the start")
        << "SliderBaseFrequency"
        << "FrameBaseFrequency" << 210 << int(Qt::Key_Home) << 0 << "Base Frequency (0Hz)";
    QTest::newRow("desired one up")
        << "SliderDesiredFrequency"
        << "FrameDesiredFrequency" << 15 << int(Qt::Key_Right) << 16 << "Desired Frequency (16Hz)";
}

void frmOptionsTest::sliders_moveChangesSettingAndCaption() {
    QFETCH(QString, slider);
    QFETCH(QString, frame);
    QFETCH(int, initial);
    QFETCH(int, key);
    QFETCH(int, moved);
    QFETCH(QString, caption);
    int16_t Settings::*const setting = slider == "SliderVolume" ? &Settings::AVEVolume
                                       : slider == "SliderBaseFrequency"
                                           ? &Settings::AVEFrequency
                                           : &Settings::AVEDesiredFrequency;
    settings.*setting = static_cast<int16_t>(initial);
    Settings expected = settings;
    expected.*setting = static_cast<int16_t>(moved);

    frmOptions& dialog = open();
    QTest::keyClick(dialog.findChild<QSlider*>(slider), static_cast<Qt::Key>(key));

    QVERIFY(settings == expected);
    QCOMPARE(dialog.findChild<QGroupBox*>(frame)->title(), caption);
}

void frmOptionsTest::sliders_hundredThenCancel() {
    frmOptions& dialog = open();
    auto* slider = control<QSlider>(dialog, "SliderVolume");
    for (int step = 0; step < 10; ++step)
        QTest::keyClick(slider, Qt::Key_PageUp);
    QCOMPARE(slider->value(), 100);

    QTest::mouseClick(control<QPushButton>(dialog, "btnCancel"), Qt::LeftButton);

    QVERIFY(!dialog.isVisible());
    QCOMPARE(settings.AVEVolume, int16_t{100});
    QCOMPARE(folder_->read("solvane.ini"), StaleFile);
}

// A setting above the range shows the handle at the top end; taking hold of the handle there
// and letting go chooses what it shows. Merely opening the dialog does not.
void frmOptionsTest::sliders_handleHeldAtItsEnd() {
    settings.AVEVolume = 150;
    frmOptions& dialog = open();
    auto* slider = control<QSlider>(dialog, "SliderVolume");
    QCOMPARE(settings.AVEVolume, int16_t{150});

    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.subControls = QStyle::SC_SliderHandle;
    const QPoint handle =
        slider->style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
            .center();
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, handle);
    QVERIFY(slider->isSliderDown());
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, handle);

    QCOMPARE(slider->value(), 100);
    QCOMPARE(settings.AVEVolume, int16_t{100});
    QCOMPARE(control<QGroupBox>(dialog, "FrameVolume")->title(), QStringLiteral("Volume (100%)"));
}

// --- closing -------------------------------------------------------------------------------

void frmOptionsTest::closing_continue_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("portCount");
    QTest::addColumn<int>("pickPosition");
    QTest::addColumn<int>("pickPort");
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<int>("storedChannel");
    QTest::addColumn<int>("storedPort");

    QTest::newRow("unchanged") << 1 << 2 << -2 << -2 << false << 1 << 2;
    QTest::newRow("position and port picked") << 1 << 2 << 20 << 2 << false << 21 << 3;
    QTest::newRow("Enter on Continue") << 1 << 2 << 4 << 0 << true << 5 << 0;
    QTest::newRow("no position, no port") << 0 << -1 << -2 << -2 << false << 0 << 2;
}

void frmOptionsTest::closing_continue() {
    QFETCH(int, channel);
    QFETCH(int, portCount);
    QFETCH(int, pickPosition);
    QFETCH(int, pickPort);
    QFETCH(bool, byEnter);
    QFETCH(int, storedChannel);
    QFETCH(int, storedPort);
    settings.AVEChannel1 = static_cast<int16_t>(channel);
    FakeKardemo::instance().portCount = portCount;

    frmOptions& dialog = open();
    if (pickPosition != -2)
        control<QComboBox>(dialog, "Combo1")->setCurrentIndex(pickPosition);
    if (pickPort != -2)
        control<QComboBox>(dialog, "ComboCOMPorts")->setCurrentIndex(pickPort);
    auto* button = control<QPushButton>(dialog, "btnContinue");
    if (byEnter) {
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
    } else {
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(settings.AVEChannel1, static_cast<int16_t>(storedChannel));
    QCOMPARE(settings.ActiveComPort, static_cast<int16_t>(storedPort));
    // All ten settings reached the file: reading it back gives the same settings.
    const Settings inMemory = settings;
    settings = Settings{};
    processINIFile::LoadSettings();
    QVERIFY(settings == inMemory);
    QVERIFY(folder_->read("solvane.ini").starts_with("; kept\n"));
}

void frmOptionsTest::closing_withoutStoring_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel clicked") << "cancel";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("Shift+Esc") << "shift-esc";
    QTest::newRow("Enter on a slider") << "enter-slider";
    QTest::newRow("Enter on the position list") << "enter-combo";
    QTest::newRow("Enter on Cancel") << "enter-cancel";
    QTest::newRow("title bar close") << "close";
}

void frmOptionsTest::closing_withoutStoring() {
    QFETCH(QString, how);
    const Settings before = settings;

    frmOptions& dialog = open();
    control<QComboBox>(dialog, "Combo1")->setCurrentIndex(7);
    control<QComboBox>(dialog, "ComboCOMPorts")->setCurrentIndex(2);
    auto* slider = control<QSlider>(dialog, "SliderBaseFrequency");
    // Continue once held the focus, so Enter must fall back to Cancel afterwards.
    control<QPushButton>(dialog, "btnContinue")->setFocus();
    slider->setFocus();
    if (how == "cancel")
        QTest::mouseClick(control<QPushButton>(dialog, "btnCancel"), Qt::LeftButton);
    else if (how == "esc")
        QTest::keyClick(slider, Qt::Key_Escape);
    else if (how == "shift-esc")
        QTest::keyClick(slider, Qt::Key_Escape, Qt::ShiftModifier);
    else if (how == "enter-slider")
        QTest::keyClick(slider, Qt::Key_Return);
    else if (how == "enter-combo")
        QTest::keyClick(control<QComboBox>(dialog, "Combo1"), Qt::Key_Enter, Qt::KeypadModifier);
    else if (how == "enter-cancel")
        QTest::keyClick(control<QPushButton>(dialog, "btnCancel"), Qt::Key_Return);
    else
        dialog.close();

    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(settings == before);
    QCOMPARE(folder_->read("solvane.ini"), StaleFile);
}

void frmOptionsTest::closing_writeFailureIsShown() {
    processINIFile::SetProgramFolder(folder_->path() / "missing");
    frmOptions& dialog = open();
    QStringList messages;
    dialog.setMessageBoxHandler([&messages](const QString& text) { messages << text; });
    control<QComboBox>(dialog, "Combo1")->setCurrentIndex(2);

    QTest::mouseClick(control<QPushButton>(dialog, "btnContinue"), Qt::LeftButton);

    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains("missing"), qPrintable(messages[0]));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(settings.AVEChannel1, int16_t{3});
}

void frmOptionsTest::closing_mainWindowAppliesSelection_data() {
    QTest::addColumn<bool>("byContinue");
    QTest::addColumn<int>("slot0");
    QTest::newRow("Continue") << true << 5;
    QTest::newRow("Esc") << false << 1;
}

void frmOptionsTest::closing_mainWindowAppliesSelection() {
    QFETCH(bool, byContinue);
    QFETCH(int, slot0);
    frmMain window(std::make_unique<KardemoDLL>(FakeKardemo::functions()));
    window.show();
    // A change the main window has not applied yet: it must be applied after the dialog.
    settings.AVEChannel2 = 7;

    bool found = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmOptions*>(QApplication::activeModalWidget());
        found = dialog != nullptr;
        if (!found)
            return;
        dialog->findChild<QComboBox*>("Combo1")->setCurrentIndex(4);
        if (byContinue)
            dialog->findChild<QPushButton*>("btnContinue")->click();
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    window.cmdOptions()->click();

    QVERIFY(found);
    QCOMPARE(window.analysis().selection().ChannelMap[0], static_cast<int16_t>(slot0));
    QCOMPARE(window.analysis().selection().ChannelMap[1], int16_t{7});
    QCOMPARE(window.analysis().selection().ChannelCount, int16_t{2});
    QCOMPARE(FakeKardemo::instance().callNames(), std::vector<std::string>{"ListActiveCOMPorts"});
}

QTEST_MAIN(frmOptionsTest)
#include "frmOptionsTest.moc"
