#include "viewer/HistoryView.h"

#include "viewer/PlotColours.h"
#include "viewer/PlotPainter.h"
#include "viewer/SessionText.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

namespace solvane::viewer {

namespace {

constexpr SourceKind Kinds[] = {SourceKind::Synthetic, SourceKind::Recording, SourceKind::Board,
                                SourceKind::Stream};

QDateTime startOf(const SessionSummary& row) {
    return QDateTime::fromString(QString::fromStdString(row.start),
                                 QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString columnName(const char* name) {
    return QString::fromUtf8(name).replace(QStringLiteral("uV"), QStringLiteral("µV"));
}

} // namespace

HistoryView::HistoryView(QWidget* parent) : QWidget(parent) {
    shortest_ = new QSpinBox;
    shortest_->setRange(0, 600);
    shortest_->setValue(1);
    shortest_->setSuffix(tr(" min"));
    kind_ = new QComboBox;
    kind_->addItem(tr("every source"));
    for (const SourceKind kind : Kinds)
        kind_->addItem(QString::fromLatin1(kindName(kind)));
    count_ = new QLabel;
    count_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* exportButton = new QPushButton(tr("Export CSV..."));
    connect(shortest_, &QSpinBox::valueChanged, this, &HistoryView::refresh);
    connect(kind_, &QComboBox::currentIndexChanged, this, &HistoryView::refresh);
    connect(exportButton, &QPushButton::clicked, this, &HistoryView::askAndExport);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(tr("Sessions of at least")));
    filters->addWidget(shortest_);
    filters->addWidget(new QLabel(tr("from")));
    filters->addWidget(kind_);
    filters->addWidget(exportButton);
    filters->addWidget(count_, 1);

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    auto* chartView = new QChartView(chart_);
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumSize(200, 150);

    table_ = new QTableWidget(0, static_cast<int>(HistoryColumns.size()));
    QStringList names;
    for (const char* name : HistoryColumns)
        names << columnName(name);
    table_->setHorizontalHeaderLabels(names);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustIgnored);

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(chartView);
    split->addWidget(table_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(split, 1);
    refresh();
}

void HistoryView::setRows(const std::vector<SessionSummary>& rows) {
    rows_ = rows;
    refresh();
}

HistoryFilter HistoryView::filter() const {
    HistoryFilter f;
    f.shortestSeconds = shortest_->value() * 60;
    if (kind_->currentIndex() > 0)
        f.kind = Kinds[kind_->currentIndex() - 1];
    return f;
}

std::vector<SessionSummary> HistoryView::shownRows() const {
    const HistoryFilter f = filter();
    std::vector<SessionSummary> shown;
    for (auto row = rows_.rbegin(); row != rows_.rend(); ++row)
        if (f.passes(*row))
            shown.push_back(*row);
    return shown;
}

void HistoryView::refresh() {
    const std::vector<SessionSummary> shown = shownRows();
    const auto readable = std::count_if(rows_.begin(), rows_.end(),
                                        [](const SessionSummary& r) { return r.error.empty(); });
    count_->setText(tr("%1 of %2 sessions").arg(shown.size()).arg(readable));

    table_->setRowCount(static_cast<int>(shown.size()));
    for (int r = 0; r < static_cast<int>(shown.size()); ++r) {
        const auto cells = historyCells(shown[static_cast<std::size_t>(r)]);
        for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
            QString text = QString::fromStdString(cells[static_cast<std::size_t>(c)]);
            if (c == 3)
                text = homeShortened(text);
            // Shares read as percentages on screen; the CSV keeps them as numbers.
            if ((c == 4 || c == 5 || c == 8) && !text.isEmpty())
                text = percentText(text.toDouble());
            table_->setItem(r, c, new QTableWidgetItem(text));
        }
    }
    table_->resizeColumnsToContents();

    chart_->removeAllSeries();
    // A removed axis is the caller's again.
    for (QAbstractAxis* axis : chart_->axes()) {
        chart_->removeAxis(axis);
        delete axis;
    }
    auto* dates = new QDateTimeAxis;
    dates->setFormat(QStringLiteral("dd MMM yyyy"));
    dates->setTitleText(tr("date of the session"));
    auto* percent = new QValueAxis;
    percent->setRange(0, 100);
    percent->setLabelFormat(QStringLiteral("%.0f"));
    percent->setTitleText(tr("%"));
    auto* microvolts = new QValueAxis;
    microvolts->setLabelFormat(QStringLiteral("%.0f"));
    microvolts->setTitleText(tr("alpha (µV)"));
    chart_->addAxis(dates, Qt::AlignBottom);
    chart_->addAxis(percent, Qt::AlignLeft);
    chart_->addAxis(microvolts, Qt::AlignRight);
    const QString names[] = {tr("output 00's share (%)"), tr("output 00 louder (% of time)"),
                             tr("alpha (µV)"), tr("good contact (% of time)")};
    double alphaTop = 1.0;
    QDateTime first;
    QDateTime last;
    for (int i = 0; i < 4; ++i) {
        auto* line = new QLineSeries;
        line->setName(names[i]);
        line->setColor(i == 2   ? ChannelColours[2]
                       : i == 3 ? ChannelColours[3]
                       : i == 0 ? Output00Colour
                                : Output01Colour);
        line->setPointsVisible(true);
        line->setMarkerSize(6);
        for (const SessionSummary& row : shown) {
            const QDateTime when = startOf(row);
            if (!when.isValid())
                continue;
            const double values[] = {100.0 * row.meanShare00, 100.0 * row.shareLed00, row.meanAlpha,
                                     row.goodContactShare ? 100.0 * *row.goodContactShare : -1.0};
            if (values[i] < 0.0)
                continue;
            line->append(static_cast<double>(when.toMSecsSinceEpoch()), values[i]);
            alphaTop = std::max(alphaTop, row.meanAlpha);
            first = first.isValid() ? std::min(first, when) : when;
            last = last.isValid() ? std::max(last, when) : when;
        }
        chart_->addSeries(line);
        line->attachAxis(dates);
        line->attachAxis(i == 2 ? microvolts : percent);
    }
    if (!first.isValid())
        first = last = QDateTime::currentDateTime();
    // Whole days, one before and one after, with a tick at each midnight while there are few.
    const QDateTime from(first.date().addDays(-1), QTime(0, 0));
    const QDateTime to(last.date().addDays(2), QTime(0, 0));
    dates->setRange(from, to);
    dates->setTickCount(static_cast<int>(std::min<qint64>(from.daysTo(to), 7)) + 1);
    microvolts->setRange(0, PlotPainter::roundTop(alphaTop * 1.1));
    microvolts->applyNiceNumbers();
}

bool HistoryView::exportCsv(const QString& file, QString& error) const {
    QSaveFile out(file);
    const std::string text = historyCsv(shownRows());
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !out.commit()) {
        error = tr("%1 cannot be written: %2").arg(file, out.errorString());
        return false;
    }
    return true;
}

void HistoryView::askAndExport() {
    const QString file = QFileDialog::getSaveFileName(
        this, tr("Export the History"), QStringLiteral("solvane-history.csv"), tr("CSV (*.csv)"));
    if (file.isEmpty())
        return;
    QString error;
    if (exportCsv(file, error))
        emit said(
            tr("The History (%1 sessions) is written to %2").arg(shownRows().size()).arg(file));
    else
        emit said(error);
}

} // namespace solvane::viewer
