#pragma once
// The BIDS export from the viewer's menu: the dataset folder, the subject and task labels,
// the power line's frequency and, if wanted, a range of dates; the export runs beside the
// window, which stays responsive, and says what became of each session.

#include "bids/BidsExport.h"

#include <QDialog>

#include <atomic>
#include <filesystem>
#include <thread>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;

namespace solvane::viewer {

class BidsExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit BidsExportDialog(std::filesystem::path sessions, QWidget* parent = nullptr);
    /// Stops an export that is still running after the session it is at.
    ~BidsExportDialog() override;

    /// Adds Export > Sessions as a BIDS dataset... to `window`'s menu bar, for the sessions
    /// of `sessions`.
    static void addToMenu(QMainWindow& window, const std::filesystem::path& sessions);

private:
    void chooseFolder();
    void start();
    void report(const bids::ExportedSession& session);
    void finished(const QString& problem);

    std::filesystem::path sessions_;
    QLineEdit* dataset_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QLineEdit* task_ = nullptr;
    QComboBox* line_ = nullptr;
    QCheckBox* range_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QPushButton* export_ = nullptr;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    int counts_[3] = {};
};

} // namespace solvane::viewer
