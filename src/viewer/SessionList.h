#pragma once
// The sessions of the folder, newest first: start, length, source and state. One click shows
// a session; a row is brought up to date in place while its run is followed, without laying
// the list out again.

#include "viewer/SessionHistory.h"

#include <QTableWidget>

#include <filesystem>
#include <vector>

namespace solvane::viewer {

class SessionList : public QTableWidget {
    Q_OBJECT
public:
    explicit SessionList(QWidget* parent = nullptr);

    /// Shows `rows`, the row of `open` selected (without choosing it again).
    void setRows(const std::vector<SessionSummary>& rows, const std::filesystem::path& open);
    /// Brings the row of `updated.stamp` up to date.
    void updateRow(const SessionSummary& updated);
    [[nodiscard]] const std::vector<SessionSummary>& rows() const noexcept { return rows_; }

    [[nodiscard]] QSize sizeHint() const override;

signals:
    /// The user chose the session of `recording`.
    void chosen(const std::filesystem::path& recording);

private:
    void showRow(int row);

    std::vector<SessionSummary> rows_;
    std::vector<QStringList> shown_; ///< the cells' texts, row by row
    bool quiet_ = false;
};

} // namespace solvane::viewer
