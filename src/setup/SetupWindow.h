#pragma once
// The set-up window: the scalp positions of the four channel slots on the program's scalp map,
// with the two groups and a warning when the choice gives no feedback; where the bundled DSU's
// EEG comes from; a check that reads three seconds of it; and Save. It only shows and asks:
// what is written, the verdict, the check's figures and the refusals are the set-up core's.
// The check and the search for streams run on a thread of their own, so the window answers.

#include "config/FileLocations.h"
#include "config/Settings.h"
#include "setup/ChannelChoice.h"
#include "setup/DeviceLibraryFile.h"
#include "setup/RecordingSignals.h"
#include "setup/SourceCheck.h"
#include "setup/SourceChoice.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QButtonGroup;
class QComboBox;
class QFormLayout;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QThread;

namespace solvane {
class KardemoDLL;
}

namespace solvane::setup {

class SetupScalpMap;
class SetupWriter;

class SetupWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* Title = "Solvane set-up";

    /// `places` are the program's, from which processINIFile's folders have been set;
    /// `device` loads the library the program loads.
    SetupWindow(FileLocations places, std::unique_ptr<KardemoDLL> device,
                QWidget* parent = nullptr);
    ~SetupWindow() override;

    [[nodiscard]] const ChannelChoice& channels() const noexcept { return channels_; }
    [[nodiscard]] SetupScalpMap* scalpMap() const noexcept { return map_; }
    /// Makes `slot` the one a click on the map sets.
    void setCurrentSlot(int slot);
    /// Shows the source in the controls, as if the user had chosen it.
    void showSource(const SourceChoice& choice);
    /// The source the controls show. Throws SetupError for a seed that is no number.
    [[nodiscard]] SourceChoice sourceChoice() const;
    /// Starts the check; checkFinished() follows on the window's thread.
    void startCheck();
    /// Saves; the outcome is shown in the status line and returned.
    QString save();

signals:
    void checkFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildChannels(QWidget* page);
    void buildSource(QGroupBox* box);
    /// The source's pages, one for each kind of source, filled into their layouts.
    void fillSyntheticPage(QFormLayout* syntheticForm);
    void fillRecordingPage(QGridLayout* recordingGrid);
    void fillBoardPage(QGridLayout* boardGrid);
    void fillStreamPage(QGridLayout* streamGrid);
    void buildCheck(QGroupBox* box);
    void loadFiles();
    void choosePosition(int slot, int position);
    void showChannels();
    void chooseRecording();
    void openRecording(const std::filesystem::path& file, const std::array<std::string, 4>& want);
    void refreshPorts(const std::string& keep);
    void findStreams();
    void showCheck(const CheckResult& result);
    void setStatus(const QString& message, bool problem);
    void waitForWorker();
    [[nodiscard]] std::filesystem::path dsuFolder() const;

    FileLocations places_;
    std::unique_ptr<KardemoDLL> device_;
    std::optional<DeviceLibraryFile> library_;
    std::unique_ptr<SetupWriter> writer_;
    Settings current_;
    ChannelChoice channels_;
    std::vector<RecordingSignal> recordingSignals_;
    std::array<std::string, 4> savedLabels_; ///< Channels as the file holds them
    std::unique_ptr<SourceCheck> check_;
    QThread* worker_ = nullptr;
    std::atomic<bool> cancel_{false};
    bool streamsLooked_ = false;

    SetupScalpMap* map_ = nullptr;
    QButtonGroup* slotButtons_ = nullptr;
    QComboBox* slotPositions_[ChannelChoice::Slots] = {};
    QLabel* verdict_ = nullptr;
    QGroupBox* sourceBox_ = nullptr;
    QComboBox* sourceKind_ = nullptr;
    QStackedWidget* sourcePages_ = nullptr;
    QLineEdit* seed_ = nullptr;
    QLineEdit* recordingPath_ = nullptr;
    QComboBox* recordingSignalsFor_[ChannelChoice::Slots] = {};
    QLabel* recordingNote_ = nullptr;
    QComboBox* boardKind_ = nullptr;
    QComboBox* port_ = nullptr;
    QLabel* portNote_ = nullptr;
    QComboBox* stream_ = nullptr;
    QLineEdit* lslLibrary_ = nullptr;
    QPushButton* findStreams_ = nullptr;
    QLabel* streamNote_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    QTableWidget* checkTable_ = nullptr;
    QLabel* checkNote_ = nullptr;
    QLabel* files_ = nullptr;
    QLabel* status_ = nullptr;
};

} // namespace solvane::setup
