#include "setup/SetupWindow.h"

#include "config/globals.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "dsu/device/SimulatorConfig.h"
#include "dsu/eeg/SerialPort.h"
#include "dsu/eeg/SignalLabel.h"
#include "setup/SetupError.h"
#include "setup/SetupScalpMap.h"
#include "setup/SetupWriter.h"
#include "setup/StreamFinder.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <charconv>

namespace solvane::setup {

namespace {

using Kind = SourceChoice::Kind;

QString qs(std::string_view value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

std::string ss(const QString& value) {
    return value.toStdString();
}

QString positionName(int position) {
    if (position < 1 || position > 21)
        return QObject::tr("none");
    return QStringLiteral("%1 (%2)").arg(qs(ScalpPositionNames[position - 1])).arg(position);
}

QString groupText(int slot) {
    const int output = ChannelChoice::outputOf(slot);
    return output == 0 ? QObject::tr("group 00 \u2192 output 00, left ear")
                       : QObject::tr("group 01 \u2192 output 01, right ear");
}

QLabel* note() {
    auto* label = new QLabel;
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A row of a source page: its label, the field and the button beside it, or the field alone
// across both columns.
void addFieldRow(QGridLayout* grid, int row, const QString& label, QWidget* field,
                 QWidget* button) {
    grid->addWidget(new QLabel(label), row, 0);
    if (button == nullptr) {
        grid->addWidget(field, row, 1, 1, 2);
        return;
    }
    grid->addWidget(field, row, 1);
    grid->addWidget(button, row, 2);
}

// The note under a source page's rows; the fields take the page's width.
void addNoteRow(QGridLayout* grid, int row, QLabel* note) {
    grid->addWidget(note, row, 0, 1, 3);
    grid->setColumnStretch(1, 1);
}

} // namespace

SetupWindow::SetupWindow(FileLocations places, std::unique_ptr<KardemoDLL> device, QWidget* parent)
    : QWidget(parent), places_(std::move(places)), device_(std::move(device)) {
    setWindowTitle(QString::fromLatin1(Title));
    setAttribute(Qt::WA_DeleteOnClose, false);
    LoadScalpPositionNames();

    files_ = note();
    map_ = new SetupScalpMap;
    connect(map_, &SetupScalpMap::positionClicked, this, [this](int position) {
        const int slot = slotButtons_->checkedId();
        // A click on the position the slot has already takes it away again; any other click
        // sets it and moves on to the next slot, so that four clicks fill the four.
        const bool again = slot >= 0 && channels_.positions[slot] == position;
        choosePosition(slot, again ? ChannelChoice::NoPosition : position);
        if (!again && slot + 1 < ChannelChoice::Slots)
            setCurrentSlot(slot + 1);
    });

    auto* channelsBox = new QGroupBox(tr("Channels and groups"));
    buildChannels(channelsBox);
    sourceBox_ = new QGroupBox(tr("Source of the EEG"));
    buildSource(sourceBox_);
    auto* checkBox = new QGroupBox(tr("Check"));
    buildCheck(checkBox);

    status_ = note();
    auto* saveButton = new QPushButton(tr("&Save"));
    auto* closeButton = new QPushButton(tr("Close"));
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    auto* right = new QVBoxLayout;
    right->addWidget(channelsBox);
    right->addWidget(sourceBox_);
    right->addWidget(checkBox, 1);
    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(map_);
    files_->setFixedWidth(map_->width());
    left->addWidget(files_);
    left->addStretch();
    top->addLayout(left);
    top->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(saveButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    resize(1040, 720);

    loadFiles();
}

SetupWindow::~SetupWindow() {
    waitForWorker();
}

void SetupWindow::buildChannels(QWidget* page) {
    auto* grid = new QGridLayout(page);
    slotButtons_ = new QButtonGroup(this);
    for (int slot = 0; slot < ChannelChoice::Slots; ++slot) {
        auto* button = new QRadioButton(tr("Slot %1").arg(slot));
        button->setToolTip(tr("A click on the map sets this slot's position."));
        slotButtons_->addButton(button, slot);
        slotPositions_[slot] = new QComboBox;
        for (int position = 0; position <= 21; ++position)
            slotPositions_[slot]->addItem(positionName(position), position);
        connect(slotPositions_[slot], &QComboBox::activated, this, [this, slot](int index) {
            choosePosition(slot, slotPositions_[slot]->itemData(index).toInt());
        });
        auto* group = new QLabel(groupText(slot));
        QPalette palette = group->palette();
        palette.setColor(QPalette::WindowText,
                         SetupScalpMap::groupColour(ChannelChoice::outputOf(slot)));
        group->setPalette(palette);
        grid->addWidget(button, slot, 0);
        grid->addWidget(slotPositions_[slot], slot, 1);
        grid->addWidget(group, slot, 2);
    }
    slotButtons_->button(0)->setChecked(true);
    verdict_ = note();
    grid->addWidget(verdict_, ChannelChoice::Slots, 0, 1, 3);
    grid->setColumnStretch(2, 1);
}

void SetupWindow::buildSource(QGroupBox* box) {
    auto* layout = new QVBoxLayout(box);
    sourceKind_ = new QComboBox;
    sourceKind_->addItem(tr("Synthetic EEG"), static_cast<int>(Kind::Synthetic));
    sourceKind_->addItem(tr("A recording (EDF, EDF+, BDF, BDF+)"),
                         static_cast<int>(Kind::Recording));
    sourceKind_->addItem(tr("A board on a serial port"), static_cast<int>(Kind::Board));
    sourceKind_->addItem(tr("A Lab Streaming Layer stream"), static_cast<int>(Kind::Stream));
    sourcePages_ = new QStackedWidget;
    connect(sourceKind_, &QComboBox::currentIndexChanged, this, [this](int index) {
        sourcePages_->setCurrentIndex(index);
        // The streams are looked for once the page is first shown; that also tells at once
        // whether there is a liblsl at all.
        if (sourceKind_->itemData(index).toInt() == static_cast<int>(Kind::Stream) &&
            !streamsLooked_)
            findStreams();
    });
    layout->addWidget(sourceKind_);
    layout->addWidget(sourcePages_);
    // In the order of the kinds above: the page shown is the kind's index.
    auto* synthetic = new QWidget;
    fillSyntheticPage(new QFormLayout(synthetic));
    sourcePages_->addWidget(synthetic);
    for (auto fill : {&SetupWindow::fillRecordingPage, &SetupWindow::fillBoardPage,
                      &SetupWindow::fillStreamPage}) {
        auto* page = new QWidget;
        (this->*fill)(new QGridLayout(page));
        sourcePages_->addWidget(page);
    }
}

void SetupWindow::fillSyntheticPage(QFormLayout* syntheticForm) {
    seed_ = new QLineEdit;
    seed_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,20}")), seed_));
    syntheticForm->addRow(tr("Seed (the same seed gives the same EEG):"), seed_);
}

void SetupWindow::fillRecordingPage(QGridLayout* recordingGrid) {
    recordingPath_ = new QLineEdit;
    recordingPath_->setReadOnly(true);
    auto* choose = new QPushButton(tr("Choose..."));
    connect(choose, &QPushButton::clicked, this, &SetupWindow::chooseRecording);
    recordingGrid->addWidget(recordingPath_, 0, 0, 1, 3);
    recordingGrid->addWidget(choose, 0, 3);
    for (int slot = 0; slot < ChannelChoice::Slots; ++slot) {
        recordingSignalsFor_[slot] = new QComboBox;
        recordingGrid->addWidget(new QLabel(tr("Slot %1:").arg(slot)), 1 + slot / 2,
                                 (slot % 2) * 2);
        recordingGrid->addWidget(recordingSignalsFor_[slot], 1 + slot / 2, (slot % 2) * 2 + 1);
    }
    recordingNote_ = note();
    recordingGrid->addWidget(recordingNote_, 3, 0, 1, 4);
}

void SetupWindow::fillBoardPage(QGridLayout* boardGrid) {
    boardKind_ = new QComboBox;
    for (const dsusim::SourceWord& word : dsusim::SimulatorConfig::SourceWords)
        if (dsusim::serialBoard(word.kind))
            boardKind_->addItem(
                QString::fromUtf8(word.description.data(),
                                  static_cast<qsizetype>(word.description.size())),
                QString::fromUtf8(word.word.data(), static_cast<qsizetype>(word.word.size())));
    port_ = new QComboBox;
    auto* refresh = new QPushButton(tr("Refresh"));
    connect(refresh, &QPushButton::clicked, this,
            [this] { refreshPorts(ss(port_->currentData().toString())); });
    portNote_ = note();
    addFieldRow(boardGrid, 0, tr("Board:"), boardKind_, nullptr);
    addFieldRow(boardGrid, 1, tr("Port:"), port_, refresh);
    addNoteRow(boardGrid, 2, portNote_);
}

void SetupWindow::fillStreamPage(QGridLayout* streamGrid) {
    stream_ = new QComboBox;
    stream_->setEditable(true);
    stream_->setToolTip(tr("Empty: the first stream of type EEG"));
    findStreams_ = new QPushButton(tr("Look for streams"));
    connect(findStreams_, &QPushButton::clicked, this, &SetupWindow::findStreams);
    lslLibrary_ = new QLineEdit;
    lslLibrary_->setPlaceholderText(tr("liblsl on the system's library path"));
    auto* chooseLibrary = new QPushButton(tr("Choose..."));
    connect(chooseLibrary, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, tr("liblsl"), QString(),
                                                          tr("Libraries (liblsl*.so*)"));
        if (!file.isEmpty())
            lslLibrary_->setText(file);
    });
    streamNote_ = note();
    addFieldRow(streamGrid, 0, tr("Stream:"), stream_, findStreams_);
    addFieldRow(streamGrid, 1, tr("liblsl:"), lslLibrary_, chooseLibrary);
    addNoteRow(streamGrid, 2, streamNote_);
}

void SetupWindow::buildCheck(QGroupBox* box) {
    auto* layout = new QVBoxLayout(box);
    checkButton_ = new QPushButton(tr("&Check: read 3 seconds"));
    checkButton_->setToolTip(tr("Reads 3 seconds from the source chosen here, through the device "
                                "library, and records nothing."));
    connect(checkButton_, &QPushButton::clicked, this, &SetupWindow::startCheck);
    checkTable_ = new QTableWidget(ChannelChoice::Slots, 4);
    checkTable_->setHorizontalHeaderLabels(
        {tr("Slot"), tr("Position"), tr("Amplitude 1-35 Hz"), tr("Contact")});
    checkTable_->verticalHeader()->hide();
    checkTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    checkTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    checkTable_->horizontalHeader()->setStretchLastSection(true);
    checkTable_->setMinimumHeight(140);
    checkNote_ = note();
    auto* row = new QHBoxLayout;
    row->addWidget(checkButton_);
    row->addStretch();
    layout->addLayout(row);
    layout->addWidget(checkTable_);
    layout->addWidget(checkNote_);
}

std::filesystem::path SetupWindow::dsuFolder() const {
    return library_ ? library_->dsuConfigFolder : std::filesystem::path();
}

void SetupWindow::loadFiles() {
    QString where = tr("Settings:<br>%1").arg(qs(processINIFile::SettingsFilePath().string()));
    try {
        library_ = DeviceLibraryFile::of(*device_);
        where += tr("<br>Device library:<br>%1").arg(qs(library_->file.string()));
    } catch (const DeviceLibraryError& error) {
        where += tr("<br>Device library: %1").arg(qs(error.what()));
    }
    const bool bundled = library_ && library_->bundled;
    const std::filesystem::path dsuFile =
        bundled ? dsuFolder() / dsusim::SimulatorConfig::FileName : std::filesystem::path();
    writer_ = std::make_unique<SetupWriter>(places_, dsuFile);
    if (bundled)
        where += tr("<br>Source:<br>%1").arg(qs(dsuFile.string()));
    files_->setText(where);

    std::string problem;
    try {
        current_ = SetupWriter::currentSettings(problem);
    } catch (const SetupError& error) {
        problem = error.what();
        current_ = processINIFile::DefaultSettings();
    }
    channels_ = ChannelChoice::of(current_);
    showChannels();

    QString source;
    sourceBox_->setEnabled(bundled);
    if (!bundled) {
        source = library_ ? tr("The device library is not the bundled DSU: it reads its device "
                               "itself, and has no source to choose. The check reads it as "
                               "Solvane does.")
                          : tr("Without a device library there is no source to choose or check.");
        checkButton_->setEnabled(library_.has_value());
    } else {
        try {
            const std::string dsuText = writer_->currentSourceText();
            const auto config = dsusim::SimulatorConfig::fromText(
                dsuText.empty() ? std::optional<std::string>() : std::optional(dsuText),
                dsuFolder());
            showSource(SourceChoice::of(config));
        } catch (const dsusim::SimulatorConfigError& error) {
            source = tr("The bundled DSU refuses %1 as it stands: %2. Choose the source again "
                        "and save.")
                         .arg(qs(dsuFile.string()), qs(error.what()));
            showSource(SourceChoice{});
        } catch (const SetupError& error) {
            source = qs(error.what());
            showSource(SourceChoice{});
        }
    }
    const std::string open = SetupWriter::programOpen();
    QStringList problems;
    for (const QString& line : {qs(problem), source, qs(open)})
        if (!line.isEmpty())
            problems << line;
    setStatus(problems.join(QStringLiteral("\n")), !problem.empty() || !open.empty());
}

void SetupWindow::setCurrentSlot(int slot) {
    if (QAbstractButton* button = slotButtons_->button(slot))
        button->setChecked(true);
}

void SetupWindow::choosePosition(int slot, int position) {
    if (slot < 0 || slot >= ChannelChoice::Slots)
        return;
    channels_.positions[slot] = static_cast<int16_t>(position);
    showChannels();
}

void SetupWindow::showChannels() {
    map_->showChoice(channels_);
    for (int slot = 0; slot < ChannelChoice::Slots; ++slot)
        slotPositions_[slot]->setCurrentIndex(
            slotPositions_[slot]->findData(channels_.positions[slot]));
    const FeedbackVerdict verdict = channels_.verdict(current_.AVEVolume);
    if (verdict.feedback) {
        verdict_->setStyleSheet(QStringLiteral("color: #1a7f37"));
        verdict_->setText(tr("Feedback: the balance of group 00 against group 01 sets the two "
                             "volumes."));
    } else {
        verdict_->setStyleSheet(QStringLiteral("color: #b3261e; font-weight: bold"));
        verdict_->setText(tr("No feedback: %1.").arg(qs(verdict.why)));
    }
}

void SetupWindow::showSource(const SourceChoice& choice) {
    sourceKind_->setCurrentIndex(sourceKind_->findData(static_cast<int>(choice.kind)));
    seed_->setText(QString::number(choice.seed));
    savedLabels_ = choice.labels;
    if (choice.kind == Kind::Recording && !choice.recording.empty()) {
        std::filesystem::path file(choice.recording);
        if (file.is_relative())
            file = dsuFolder() / file;
        openRecording(file, choice.labels);
    }
    if (const int index = boardKind_->findData(qs(choice.board)); index >= 0)
        boardKind_->setCurrentIndex(index);
    refreshPorts(choice.serialDevice);
    stream_->setCurrentText(qs(choice.stream));
    lslLibrary_->setText(qs(choice.lslLibrary));
}

SourceChoice SetupWindow::sourceChoice() const {
    SourceChoice choice;
    choice.kind = static_cast<Kind>(sourceKind_->currentData().toInt());
    const std::string seed = ss(seed_->text());
    const auto [end, error] = std::from_chars(seed.data(), seed.data() + seed.size(), choice.seed);
    if (choice.kind == Kind::Synthetic &&
        (seed.empty() || error != std::errc() || end != seed.data() + seed.size()))
        throw SetupError(SetupError::Reason::Refused,
                         "The seed must be a whole number from 0 to 18446744073709551615.");
    choice.recording = ss(recordingPath_->text());
    if (!choice.recording.empty())
        choice.recording = SourceChoice::recordingName(choice.recording, dsuFolder());
    for (int slot = 0; slot < ChannelChoice::Slots; ++slot) {
        // A label as the file wrote it stays so while it names the same signal.
        choice.labels[slot] = ss(recordingSignalsFor_[slot]->currentText());
        if (dsusim::SignalLabel::matches(savedLabels_[slot], choice.labels[slot]))
            choice.labels[slot] = savedLabels_[slot];
    }
    if (choice.kind == Kind::Recording && choice.recording.empty())
        throw SetupError(SetupError::Reason::Refused, "Choose the recording first.");
    choice.board = ss(boardKind_->currentData().toString());
    choice.serialDevice = ss(port_->currentData().toString());
    choice.stream = ss(stream_->currentText().trimmed());
    choice.lslLibrary = ss(lslLibrary_->text().trimmed());
    return choice;
}

void SetupWindow::chooseRecording() {
    const QString file =
        QFileDialog::getOpenFileName(this, tr("Recording"), qs(dsuFolder().string()),
                                     tr("Recordings (*.edf *.EDF *.bdf *.BDF);;All files (*)"));
    if (!file.isEmpty())
        openRecording(ss(file), {});
}

void SetupWindow::openRecording(const std::filesystem::path& file,
                                const std::array<std::string, 4>& want) {
    recordingPath_->setText(qs(file.string()));
    for (QComboBox* combo : recordingSignalsFor_)
        combo->clear();
    try {
        recordingSignals_ = RecordingSignals::of(file);
    } catch (const SetupError& error) {
        recordingSignals_.clear();
        recordingNote_->setText(qs(error.what()));
        return;
    }
    const std::array<std::string, 4> chosen = RecordingSignals::forSlots(recordingSignals_, want);
    for (int slot = 0; slot < ChannelChoice::Slots; ++slot) {
        for (const RecordingSignal& signal : recordingSignals_)
            recordingSignalsFor_[slot]->addItem(qs(signal.label));
        recordingSignalsFor_[slot]->setCurrentText(qs(chosen[slot]));
    }
    int eeg = 0;
    for (const RecordingSignal& signal : recordingSignals_)
        eeg += signal.eeg ? 1 : 0;
    recordingNote_->setText(tr("%1 signals, %2 of them EEG. Pick the signal each slot replays.")
                                .arg(recordingSignals_.size())
                                .arg(eeg));
}

void SetupWindow::refreshPorts(const std::string& keep) {
    port_->clear();
    port_->addItem(tr("The port chosen in Solvane's Options"), QString());
    const auto ports = dsusim::SerialPorts::present();
    bool kept = keep.empty();
    for (const dsusim::SerialPorts::Port& port : ports) {
        port_->addItem(QStringLiteral("Com%1: %2").arg(port.number).arg(qs(port.device)),
                       qs(port.device));
        kept = kept || port.device == keep;
    }
    if (!kept)
        port_->addItem(tr("%1 (not there now)").arg(qs(keep)), qs(keep));
    port_->setCurrentIndex(std::max(0, port_->findData(qs(keep))));
    portNote_->setText(ports.empty() ? tr("This machine has no serial port now. Plug the board's "
                                          "dongle in and press Refresh.")
                                     : tr("Serial ports on this machine: %1.").arg(ports.size()));
}

void SetupWindow::findStreams() {
    if (worker_ != nullptr)
        return;
    std::string library = ss(lslLibrary_->text().trimmed());
    if (!library.empty() && std::filesystem::path(library).is_relative())
        library = (dsuFolder() / library).string();
    streamsLooked_ = true;
    findStreams_->setEnabled(false);
    streamNote_->setText(tr("Looking for streams for a second..."));
    worker_ = QThread::create([this, library] {
        QString found;
        QStringList names;
        try {
            const std::vector<StreamSummary> streams = StreamFinder::find(library);
            for (const StreamSummary& s : streams) {
                names << qs(s.name);
                found += tr("%1: type %2, %3 channels at %4 Hz, on %5\n")
                             .arg(qs(s.name), qs(s.type))
                             .arg(s.channels)
                             .arg(s.rate)
                             .arg(qs(s.host));
            }
            if (streams.empty())
                found = tr("No stream was found within a second. Is the amplifier's LSL program "
                           "streaming, on this machine or its network?");
        } catch (const SetupError& error) {
            found = qs(error.what());
        }
        QMetaObject::invokeMethod(
            this,
            [this, found, names] {
                const QString current = stream_->currentText();
                stream_->clear();
                stream_->addItems(names);
                stream_->setCurrentText(current.isEmpty() && !names.isEmpty() ? names.first()
                                                                              : current);
                streamNote_->setText(found.trimmed());
                findStreams_->setEnabled(true);
                waitForWorker();
            },
            Qt::QueuedConnection);
    });
    worker_->start();
}

void SetupWindow::startCheck() {
    if (worker_ != nullptr || !library_)
        return;
    std::optional<std::string> configuration;
    try {
        if (library_->bundled)
            configuration = sourceChoice().writtenInto(writer_->currentSourceText(), dsuFolder());
    } catch (const SetupError& error) {
        checkNote_->setText(qs(error.what()));
        emit checkFinished();
        return;
    }
    check_ =
        std::make_unique<SourceCheck>(*device_, library_->bundled, channels_.appliedTo(current_));
    checkButton_->setEnabled(false);
    checkNote_->setText(tr("Reading 3 seconds..."));
    cancel_ = false;
    worker_ = QThread::create([this, configuration] {
        const CheckResult result = check_->run(configuration, cancel_);
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                waitForWorker();
                check_.reset();
                showCheck(result);
                checkButton_->setEnabled(true);
                emit checkFinished();
            },
            Qt::QueuedConnection);
    });
    worker_->start();
}

void SetupWindow::showCheck(const CheckResult& result) {
    for (int slot = 0; slot < ChannelChoice::Slots; ++slot) {
        const SlotFigures& figures = result.perSlot[slot];
        const bool used = figures.position != ChannelChoice::NoPosition;
        QString contact = tr("not judged");
        if (figures.contact == SlotFigures::Contact::Good)
            contact = tr("good");
        else if (figures.contact == SlotFigures::Contact::Poor)
            contact = tr("poor: samples beyond 5..1020");
        const QStringList cells = {QString::number(slot), positionName(figures.position),
                                   used && result.blocks > 0
                                       ? QString::number(figures.amplitude, 'f', 0)
                                       : QStringLiteral("-"),
                                   used ? contact : QStringLiteral("-")};
        for (int column = 0; column < cells.size(); ++column)
            checkTable_->setItem(slot, column, new QTableWidgetItem(cells[column]));
    }
    if (result.passed())
        checkNote_->setText(tr("%1 packets read (%2 one-second blocks analysed) from %3.")
                                .arg(result.packets)
                                .arg(result.blocks)
                                .arg(result.source.empty() ? tr("the device") : qs(result.source)));
    else
        checkNote_->setText(qs(result.failure));
}

QString SetupWindow::save() {
    try {
        const std::optional<SourceChoice> source =
            library_ && library_->bundled ? std::optional(sourceChoice()) : std::nullopt;
        QString done = qs(writer_->write(channels_, source));
        std::string problem;
        current_ = SetupWriter::currentSettings(problem);
        setStatus(done, false);
        return done;
    } catch (const SetupError& error) {
        setStatus(qs(error.what()), true);
        return qs(error.what());
    }
}

void SetupWindow::setStatus(const QString& message, bool problem) {
    status_->setStyleSheet(problem ? QStringLiteral("color: #b3261e") : QString());
    status_->setText(message);
}

void SetupWindow::waitForWorker() {
    if (worker_ == nullptr)
        return;
    cancel_ = true;
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
}

void SetupWindow::closeEvent(QCloseEvent* event) {
    waitForWorker();
    check_.reset();
    event->accept();
}

} // namespace solvane::setup
