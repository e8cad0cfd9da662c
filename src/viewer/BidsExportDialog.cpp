#include "viewer/BidsExportDialog.h"

#include "bids/ExportError.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace solvane::viewer {

using bids::ExportedSession;

BidsExportDialog::BidsExportDialog(std::filesystem::path sessions, QWidget* parent)
    : QDialog(parent), sessions_(std::move(sessions)) {
    setWindowTitle(tr("Export as a BIDS dataset"));
    dataset_ = new QLineEdit;
    auto* choose = new QPushButton(tr("C&hoose..."));
    connect(choose, &QPushButton::clicked, this, &BidsExportDialog::chooseFolder);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(dataset_, 1);
    folderRow->addWidget(choose);
    const auto* label =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z0-9]+")), this);
    subject_ = new QLineEdit(QStringLiteral("01"));
    subject_->setValidator(label);
    task_ = new QLineEdit(QStringLiteral("neurofeedback"));
    task_->setValidator(label);
    line_ = new QComboBox;
    line_->addItem(tr("50 Hz"), 50);
    line_->addItem(tr("60 Hz"), 60);
    range_ = new QCheckBox(tr("Only the sessions begun from"));
    from_ = new QDateEdit(QDate::currentDate().addMonths(-1));
    to_ = new QDateEdit(QDate::currentDate());
    for (QDateEdit* date : {from_, to_}) {
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setCalendarPopup(true);
        date->setEnabled(false);
        connect(range_, &QCheckBox::toggled, date, &QWidget::setEnabled);
    }
    auto* rangeRow = new QHBoxLayout;
    rangeRow->addWidget(range_);
    rangeRow->addWidget(from_);
    rangeRow->addWidget(new QLabel(tr("to")));
    rangeRow->addWidget(to_);
    rangeRow->addStretch();

    auto* form = new QFormLayout;
    form->addRow(tr("Dataset folder:"), folderRow);
    form->addRow(tr("Subject:"), subject_);
    form->addRow(tr("Task:"), task_);
    form->addRow(tr("Power line:"), line_);
    form->addRow(rangeRow);
    log_ = new QPlainTextEdit;
    log_->setReadOnly(true);
    log_->setPlaceholderText(tr("The kept sessions of %1 go into the dataset folder, each as a "
                                "session of the subject.")
                                 .arg(QString::fromStdString(sessions_.string())));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    export_ = buttons->addButton(tr("&Export"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &BidsExportDialog::start);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(log_, 1);
    layout->addWidget(buttons);
    resize(640, 420);
}

BidsExportDialog::~BidsExportDialog() {
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

void BidsExportDialog::addToMenu(QMainWindow& window, const std::filesystem::path& sessions) {
    QMenu* menu = window.menuBar()->addMenu(tr("&Export"));
    QPointer<BidsExportDialog> dialog;
    menu->addAction(tr("Sessions as a &BIDS dataset..."), &window,
                    [&window, sessions, dialog]() mutable {
                        if (!dialog)
                            dialog = new BidsExportDialog(sessions, &window);
                        dialog->show();
                        dialog->raise();
                        dialog->activateWindow();
                    });
}

void BidsExportDialog::chooseFolder() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("The dataset folder: a new or empty one, or a dataset to add to"),
        dataset_->text());
    if (!folder.isEmpty())
        dataset_->setText(folder);
}

void BidsExportDialog::start() {
    if (worker_.joinable())
        return;
    if (dataset_->text().trimmed().isEmpty()) {
        log_->appendPlainText(tr("Choose the dataset folder first."));
        return;
    }
    bids::ExportOptions options;
    options.sessions = sessions_;
    options.subject = subject_->text().toStdString();
    options.sidecar.task = task_->text().toStdString();
    options.sidecar.lineFrequency = line_->currentData().toInt();
    if (range_->isChecked()) {
        options.from = from_->date().toString(Qt::ISODate).toStdString();
        options.to = to_->date().toString(Qt::ISODate).toStdString();
    }
    const std::filesystem::path dataset = dataset_->text().trimmed().toStdString();
    std::optional<bids::BidsExport> exporter;
    try {
        exporter.emplace(dataset, options);
    } catch (const bids::ExportError& e) {
        log_->appendPlainText(QString::fromStdString(e.what()));
        return;
    }
    log_->clear();
    std::fill(std::begin(counts_), std::end(counts_), 0);
    export_->setEnabled(false);
    stop_ = false;
    worker_ = std::thread([this, exporter = std::move(*exporter)]() mutable {
        QString problem;
        try {
            exporter.run([this](const ExportedSession& session) {
                QMetaObject::invokeMethod(
                    this, [this, session] { report(session); }, Qt::QueuedConnection);
                return !stop_;
            });
        } catch (const bids::ExportError& e) {
            problem = QString::fromStdString(e.what());
        }
        QMetaObject::invokeMethod(
            this, [this, problem] { finished(problem); }, Qt::QueuedConnection);
    });
}

void BidsExportDialog::report(const ExportedSession& session) {
    ++counts_[static_cast<int>(session.outcome)];
    const QString name = QString::fromStdString(session.recording.filename().string());
    const QString folder = QString::fromStdString(session.folder);
    const QString reason = QString::fromStdString(session.reason);
    switch (session.outcome) {
    case ExportedSession::Outcome::Exported:
        log_->appendPlainText(tr("%1: exported as %2").arg(name, folder));
        if (!reason.isEmpty())
            log_->appendPlainText(QStringLiteral("  ") + reason);
        break;
    case ExportedSession::Outcome::AlreadyThere:
        log_->appendPlainText(tr("%1: already in the dataset as %2").arg(name, folder));
        break;
    case ExportedSession::Outcome::Skipped:
        log_->appendPlainText(tr("%1 is left out: %2").arg(name, reason));
        break;
    }
}

void BidsExportDialog::finished(const QString& problem) {
    if (worker_.joinable())
        worker_.join();
    export_->setEnabled(true);
    if (!problem.isEmpty())
        log_->appendPlainText(problem);
    log_->appendPlainText(tr("%1 exported, %2 already in the dataset, %3 left out.")
                              .arg(counts_[0])
                              .arg(counts_[1])
                              .arg(counts_[2]));
}

} // namespace solvane::viewer
