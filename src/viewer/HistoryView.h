#pragma once
// The History: the sessions compared over the calendar, the short tries and other sources
// filtered out (by default every session under a minute), their figures in a table with
// plain column names, and the table exported as CSV for the user's own spreadsheet.

#include "viewer/SessionHistory.h"

#include <QWidget>

#include <vector>

class QChart;
class QComboBox;
class QLabel;
class QSpinBox;
class QTableWidget;

namespace solvane::viewer {

class HistoryView : public QWidget {
    Q_OBJECT
public:
    explicit HistoryView(QWidget* parent = nullptr);

    void setRows(const std::vector<SessionSummary>& rows);
    [[nodiscard]] HistoryFilter filter() const;
    /// The rows the filter lets through, oldest first.
    [[nodiscard]] std::vector<SessionSummary> shownRows() const;
    /// Writes the shown rows as CSV to `file`; false with `error` set when it cannot.
    bool exportCsv(const QString& file, QString& error) const;

signals:
    /// Something worth a word in the status bar.
    void said(const QString& message);

private:
    void refresh();
    void askAndExport();

    std::vector<SessionSummary> rows_;
    QSpinBox* shortest_ = nullptr;
    QComboBox* kind_ = nullptr;
    QLabel* count_ = nullptr;
    QChart* chart_ = nullptr;
    QTableWidget* table_ = nullptr;
};

} // namespace solvane::viewer
