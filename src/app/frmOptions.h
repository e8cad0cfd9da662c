#pragma once
// The options dialog: three sliders that set the AVE volume, base frequency and desired beat
// frequency in `settings` the moment they move, the scalp position of the first channel slot,
// and the COM ports the device library lists. Continue stores the position (and the port, when
// one is chosen) and writes the settings file; Cancel, Enter away from Continue and Esc only
// close it. Built and filled anew each time it opens; a tool window of its owner, kept off the
// task bar.

#include <QDialog>

#include <cstdint>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;

namespace solvane {

class KardemoDLL;

class frmOptions : public QDialog {
    Q_OBJECT

public:
    /// Loads the dialog: captions and sliders from `settings`, the position names, and the
    /// port list from `device` (left empty when the library cannot be loaded).
    frmOptions(QWidget* owner, KardemoDLL& device);

    /// How a failed write of the settings file is shown; default: a "Solvane" message box.
    void setMessageBoxHandler(std::function<void(const QString&)> handler);

    /// Client size in twips, fixed.
    static constexpr int ClientWidthTwips = 4110;
    static constexpr int ClientHeightTwips = 5220;
    /// Slots handed to ListActiveCOMPorts.
    static constexpr int PortSlotCount = 501;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// One slider with its frame, its caption and the setting it writes.
    struct SliderBinding {
        QGroupBox* frame = nullptr;
        QSlider* slider = nullptr;
        const char* prefix = "";
        const char* suffix = "";
        int16_t* setting = nullptr;
    };

    void centreOnOwner();
    void Form_Load(KardemoDLL& device);
    void LoadVolumeSlider();
    void LoadFrequencySliders();
    void loadSlider(const SliderBinding& binding);
    void sliderReaction(const SliderBinding& binding);
    void fillPortList(KardemoDLL& device);
    void btnContinue_Click();

    QGroupBox* FrameVolume_ = nullptr;
    QSlider* SliderVolume_ = nullptr;
    QGroupBox* FrameBaseFrequency_ = nullptr;
    QSlider* SliderBaseFrequency_ = nullptr;
    QGroupBox* FrameDesiredFrequency_ = nullptr;
    QSlider* SliderDesiredFrequency_ = nullptr;
    QPushButton* btnContinue_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    QGroupBox* FrameScalpPositions_ = nullptr;
    QComboBox* Combo1_ = nullptr;
    QComboBox* ComboCOMPorts_ = nullptr;
    QLabel* Label4_ = nullptr;

    SliderBinding volume_;
    SliderBinding baseFrequency_;
    SliderBinding desiredFrequency_;

    /// Port numbers written by ListActiveCOMPorts; 0 or less is an empty slot.
    int32_t ComPortSlots[PortSlotCount] = {};

    std::function<void(const QString&)> messageBox_;
};

} // namespace solvane
