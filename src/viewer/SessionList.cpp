#include "viewer/SessionList.h"

#include "viewer/SessionText.h"

#include <QHeaderView>
#include <QSignalBlocker>

namespace solvane::viewer {

SessionList::SessionList(QWidget* parent) : QTableWidget(0, 4, parent) {
    setHorizontalHeaderLabels({tr("Start"), tr("Length"), tr("Source"), tr("State")});
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    setSizeAdjustPolicy(QAbstractScrollArea::AdjustIgnored);
    connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (!quiet_ && row >= 0 && row < static_cast<int>(rows_.size()))
            emit chosen(rows_[static_cast<std::size_t>(row)].recording);
    });
}

QSize SessionList::sizeHint() const {
    const int line = fontMetrics().height();
    return {line * 22, line * 20};
}

void SessionList::setRows(const std::vector<SessionSummary>& rows,
                          const std::filesystem::path& open) {
    quiet_ = true;
    rows_ = rows;
    shown_.assign(rows_.size(), {});
    setRowCount(static_cast<int>(rows_.size()));
    int current = -1;
    for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
        showRow(row);
        if (!open.empty() && rows_[static_cast<std::size_t>(row)].recording == open)
            current = row;
    }
    resizeColumnsToContents();
    if (current >= 0)
        setCurrentCell(current, 0);
    else
        clearSelection();
    quiet_ = false;
}

void SessionList::updateRow(const SessionSummary& updated) {
    for (int row = 0; row < static_cast<int>(rows_.size()); ++row)
        if (rows_[static_cast<std::size_t>(row)].stamp == updated.stamp) {
            rows_[static_cast<std::size_t>(row)] = updated;
            showRow(row);
        }
}

void SessionList::showRow(int row) {
    const SessionSummary& s = rows_[static_cast<std::size_t>(row)];
    const bool bad = !s.error.empty();
    const QString kind = QString::fromLatin1(kindName(s.kind));
    const QStringList cells = {
        bad || s.start.empty() ? QString::fromStdString(s.stamp) : QString::fromStdString(s.start),
        bad ? QString() : lengthText(s.seconds),
        bad ? QString::fromStdString(s.error)
            : (kind.isEmpty() ? (s.live ? notYetKnown() : tr("not recorded")) : kind),
        bad ? tr("unreadable")
            : (s.live ? tr("recording") : tr("ended")) +
                  (s.fault.empty() ? QString() : "; " + QString::fromStdString(s.fault))};
    QStringList& shown = shown_[static_cast<std::size_t>(row)];
    for (int column = 0; column < cells.size(); ++column) {
        if (column < shown.size() && shown[column] == cells[column])
            continue;
        if (QTableWidgetItem* item = this->item(row, column); item != nullptr)
            item->setText(cells[column]);
        else
            setItem(row, column, new QTableWidgetItem(cells[column]));
        if (column == 2)
            this->item(row, column)
                ->setToolTip(bad ? cells[column] : homeShortened(QString::fromStdString(s.source)));
    }
    shown = cells;
}

} // namespace solvane::viewer
