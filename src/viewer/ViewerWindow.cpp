#include "viewer/ViewerWindow.h"

#include "viewer/SessionReport.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

namespace solvane::viewer {

namespace {

const QColor Colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                          QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd)};
const QColor Output01Colour(0xff, 0x7f, 0x0e);

/// How long the newest part of a live run shown is, in seconds.
constexpr double FollowedSpan = 120.0;
/// How often the facts of a followed run are brought up to date, in seconds.
constexpr int FactsEvery = 5;

double niceTop(double value) {
    return value <= 0.0 ? 1.0 : value * 1.1;
}

} // namespace

TimeChartView::TimeChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setRenderHint(QPainter::Antialiasing, false);
    setRubberBand(QChartView::HorizontalRubberBand);
    setMouseTracking(true);
    setMinimumHeight(170);
}

void TimeChartView::mouseMoveEvent(QMouseEvent* event) {
    if (!chart()->series().isEmpty())
        emit hovered(chart()->mapToValue(event->position(), chart()->series().constFirst()).x());
    QChartView::mouseMoveEvent(event);
}

void TimeChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->modifiers() == Qt::ControlModifier &&
        !chart()->series().isEmpty()) {
        emit clicked(chart()->mapToValue(event->position(), chart()->series().constFirst()).x());
        return;
    }
    QChartView::mousePressEvent(event);
}

void TimeChartView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    if (event->modifiers() & Qt::ShiftModifier)
        chart()->scroll(-steps * chart()->plotArea().width() / 10, 0);
    else
        chart()->zoom(steps > 0 ? 1.25 : 0.8);
    event->accept();
}

ViewerWindow::ViewerWindow(std::filesystem::path folder, const std::filesystem::path& first,
                           QWidget* parent)
    : QMainWindow(parent), folder_(std::move(folder)) {
    setWindowTitle(QStringLiteral("Solvane sessions"));
    resize(1280, 900);

    sessions_ = new QTableWidget(0, 8);
    sessions_->setHorizontalHeaderLabels({tr("Date"), tr("Length"), tr("Source"), tr("Share 00"),
                                          tr("00 led"), tr("Mean alpha"), tr("Poor contact"),
                                          tr("State")});
    sessions_->setSelectionBehavior(QAbstractItemView::SelectRows);
    sessions_->setSelectionMode(QAbstractItemView::SingleSelection);
    sessions_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sessions_->verticalHeader()->hide();
    sessions_->horizontalHeader()->setStretchLastSection(true);
    connect(sessions_, &QTableWidget::cellActivated, this, [this](int row, int) {
        if (row >= 0 && row < static_cast<int>(history_.size()))
            openSession(history_[row].recording);
    });

    facts_ = new QLabel;
    facts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Its text changes every second while a run is followed; a fixed height keeps that from
    // laying the whole window out again.
    facts_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    readout_ = new QLabel(tr("Point at a second to read its values."));
    band_ = new QComboBox;
    for (const BandRange& band : BandBins)
        band_->addItem(QString::fromLatin1(band.name));
    band_->setCurrentIndex(Alpha);
    auto* whole = new QPushButton(tr("Whole run"));
    auto* report = new QPushButton(tr("Report..."));
    connect(whole, &QPushButton::clicked, this, [this] {
        atEnd_ = false;
        setTimeRange(0, std::max(shown_ - 1, 1));
    });
    connect(report, &QPushButton::clicked, this, &ViewerWindow::saveReport);

    QWidget* plots = new QWidget;
    auto* plotsLayout = new QVBoxLayout(plots);
    plotsLayout->setContentsMargins(0, 0, 0, 0);
    const QStringList channelNames = {tr("slot 1"), tr("slot 2"), tr("slot 3"), tr("slot 4")};
    addPanel(tr("Volumes"), {tr("output 00"), tr("output 01")});
    addPanel(tr("Share of output 00 (%)"), {tr("share 00")});
    addPanel(tr("Total amplitude 1-35 Hz"), channelNames);
    addPanel(tr("Band"), channelNames);
    addPanel(tr("Samples out of range (%)"), channelNames);
    for (Panel& panel : panels_) {
        QFont small = panel.x->labelsFont();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        panel.x->setLabelsFont(small);
        panel.y->setLabelsFont(small);
        panel.y->setLabelFormat(QStringLiteral("%.0f"));
        plotsLayout->addWidget(panel.view, 1);
    }
    auto* scroll = new QScrollArea;
    scroll->setWidget(plots);
    scroll->setWidgetResizable(true);
    connect(band_, &QComboBox::currentIndexChanged, this, [this] { appendSeconds(true); });

    spectrum_ = new QChart;
    spectrum_->setTitle(tr("Spectrum"));
    auto* binAxis = new QValueAxis;
    binAxis->setRange(1, 49);
    binAxis->setTitleText(tr("Hz"));
    auto* amplitudeAxis = new QValueAxis;
    spectrum_->addAxis(binAxis, Qt::AlignBottom);
    spectrum_->addAxis(amplitudeAxis, Qt::AlignLeft);
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
        auto* line = new QLineSeries;
        line->setColor(Colours[slot]);
        spectrum_->addSeries(line);
        line->attachAxis(binAxis);
        line->attachAxis(amplitudeAxis);
        spectrumLines_.push_back(line);
    }
    auto* spectrumView = new QChartView(spectrum_);
    spectrumView->setMinimumHeight(200);

    auto* tools = new QHBoxLayout;
    tools->addWidget(new QLabel(tr("Band:")));
    tools->addWidget(band_);
    tools->addWidget(whole);
    tools->addWidget(report);
    tools->addStretch();
    auto* sessionPage = new QWidget;
    auto* sessionLayout = new QVBoxLayout(sessionPage);
    sessionLayout->addWidget(facts_);
    facts_->setTextFormat(Qt::RichText);
    sessionLayout->addLayout(tools);
    sessionLayout->addWidget(readout_);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(scroll);
    split->addWidget(spectrumView);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    sessionLayout->addWidget(split, 1);

    historyChart_ = new QChart;
    historyChart_->setTitle(tr("Across sessions, oldest to newest"));
    auto* historyPage = new QWidget;
    auto* historyLayout = new QVBoxLayout(historyPage);
    historyLayout->addWidget(new QChartView(historyChart_));
    historyFaults_ = new QLabel;
    historyFaults_->setWordWrap(true);
    historyLayout->addWidget(historyFaults_);

    auto* tabs = new QTabWidget;
    tabs->addTab(sessionPage, tr("Session"));
    tabs->addTab(historyPage, tr("History"));
    auto* main = new QSplitter(Qt::Horizontal);
    main->addWidget(sessions_);
    main->addWidget(tabs);
    main->setStretchFactor(1, 3);
    setCentralWidget(main);
    menuBar()
        ->addMenu(tr("&Solvane"))
        ->addAction(tr("&Set up channels and source..."), this, &ViewerWindow::setUpRequested);
    statusBar()->showMessage(QString::fromStdString(folder_.string()));

    refreshHistory();
    if (!first.empty())
        openSession(first);
    else if (!history_.empty())
        openSession(history_.front().recording); // the newest: the run going, if there is one

    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &ViewerWindow::follow);
    timer_->start();
}

ViewerWindow::~ViewerWindow() = default;

ViewerWindow::Panel& ViewerWindow::addPanel(const QString& title, const QStringList& names) {
    Panel panel;
    panel.chart = new QChart;
    panel.chart->setTitle(title);
    panel.chart->legend()->setAlignment(Qt::AlignRight);
    panel.chart->setMargins(QMargins(2, 0, 2, 0));
    QFont small = panel.chart->titleFont();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    panel.chart->setTitleFont(small);
    panel.chart->legend()->setFont(small);
    panel.x = new QValueAxis;
    panel.x->setLabelFormat(QStringLiteral("%d s"));
    panel.y = new QValueAxis;
    panel.chart->addAxis(panel.x, Qt::AlignBottom);
    panel.chart->addAxis(panel.y, Qt::AlignLeft);
    for (int i = 0; i < names.size(); ++i) {
        auto* line = new QLineSeries;
        line->setName(names[i]);
        line->setColor(names.size() == 2 && i == 1 ? Output01Colour : Colours[i % 4]);
        line->setUseOpenGL(false);
        panel.chart->addSeries(line);
        line->attachAxis(panel.x);
        line->attachAxis(panel.y);
        panel.lines.push_back(line);
    }
    panel.cursor = new QLineSeries;
    panel.cursor->setColor(Qt::darkGray);
    panel.chart->addSeries(panel.cursor);
    panel.cursor->attachAxis(panel.x);
    panel.cursor->attachAxis(panel.y);
    panel.chart->legend()->markers(panel.cursor).constFirst()->setVisible(false);
    panel.view = new TimeChartView(panel.chart);
    connect(panel.x, &QValueAxis::rangeChanged, this, [this](qreal from, qreal to) {
        if (rangeBusy_)
            return;
        atEnd_ = to >= shown_ - 1.5 && from <= shown_;
        setTimeRange(from, to);
    });
    connect(panel.view, &TimeChartView::hovered, this, &ViewerWindow::showSecond);
    connect(panel.view, &TimeChartView::clicked, this,
            [this](double second) { showSpectrum(static_cast<int>(std::floor(second))); });
    panels_.push_back(panel);
    return panels_.back();
}

void ViewerWindow::setTimeRange(double from, double to) {
    rangeBusy_ = true;
    for (Panel& panel : panels_)
        panel.x->setRange(from, to);
    rangeBusy_ = false;
}

bool ViewerWindow::openSession(const std::filesystem::path& recording) {
    try {
        auto reader = std::make_unique<SessionReader>(recording);
        reader->update();
        auto analysis = std::make_unique<SessionAnalysis>();
        analysis->update(*reader);
        reader_ = std::move(reader);
        analysis_ = std::move(analysis);
    } catch (const std::exception& e) {
        // Said in the window, not in a box: it may come while a run is being followed.
        statusBar()->showMessage(tr("The session cannot be read: %1").arg(e.what()));
        return false;
    }
    shown_ = 0;
    spectrumSecond_ = -1;
    atEnd_ = true;
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
        const QString label = QString::fromStdString(analysis_->channel(slot).label);
        for (int p = 2; p < 5; ++p)
            panels_[p].lines[slot]->setName(label);
        spectrumLines_[slot]->setName(label);
    }
    appendSeconds(true);
    setWindowTitle(tr("Solvane session %1").arg(QString::fromStdString(reader_->paths().stamp())));
    return true;
}

void ViewerWindow::follow() {
    if (reader_) {
        try {
            const bool live = reader_->live() || reader_->working();
            if (live && reader_->update()) {
                analysis_->update(*reader_);
                appendSeconds(false);
            }
        } catch (const std::exception& e) {
            statusBar()->showMessage(tr("The session cannot be followed: %1").arg(e.what()));
        }
    }
    // A new run in the folder, or one that ended: the list follows (the folder is only listed).
    std::vector<std::filesystem::path> recordings;
    try {
        recordings = sessionRecordings(folder_);
    } catch (const SessionError& e) {
        // Said, and tried again at the next step: the folder may come back.
        QString message = QString::fromStdString(e.what());
        message[0] = message[0].toUpper();
        statusBar()->showMessage(message);
        return;
    }
    bool changed = recordings.size() != history_.size();
    for (std::size_t i = 0; !changed && i < recordings.size(); ++i)
        changed = recordings[i] != history_[i].recording;
    if (changed) {
        const bool followingNewest =
            !reader_ || (!history_.empty() && reader_->recording() == history_.front().recording);
        refreshHistory();
        if (followingNewest && !history_.empty() && history_.front().live &&
            (!reader_ || history_.front().recording != reader_->recording()))
            openSession(history_.front().recording);
    }
}

void ViewerWindow::appendSeconds(bool all) {
    if (!analysis_)
        return;
    const SessionAnalysis& a = *analysis_;
    const int n = a.seconds();
    const int from = all ? 0 : shown_;
    const auto band = static_cast<Band>(band_->currentIndex());
    std::vector<QList<QPointF>> points(5 * 4);
    for (int s = from; s < n; ++s) {
        const OutputState& out = a.perSecond()[s];
        points[0].append(QPointF(s, out.volume00));
        points[1].append(QPointF(s, out.volume01));
        if (a.share00()[s] >= 0.0F)
            points[4].append(QPointF(s, 100.0 * a.share00()[s]));
        for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
            const ChannelSeconds& c = a.channel(slot);
            points[8 + slot].append(QPointF(s, c.total[s]));
            points[12 + slot].append(QPointF(s, c.bands[s][band]));
            points[16 + slot].append(QPointF(s, 100.0 * c.contactShare[s]));
        }
    }
    for (std::size_t p = 0; p < panels_.size(); ++p) {
        Panel& panel = panels_[p];
        if (all)
            panel.top = 0.0;
        for (std::size_t l = 0; l < panel.lines.size(); ++l) {
            QLineSeries* line = panel.lines[l];
            const QList<QPointF>& fresh = points[p * 4 + l];
            if (all)
                line->replace(fresh);
            else if (!fresh.isEmpty())
                line->append(fresh);
            for (const QPointF& point : fresh)
                panel.top = std::max(panel.top, point.y());
        }
        // The scale changes only when a value outgrows it, so that following a run does not
        // lay every panel out again each second.
        const double top = p == 1 || p == 4 ? 100.0 : niceTop(panel.top);
        if (all || panel.top > panel.y->max())
            panel.y->setRange(0, top);
    }
    shown_ = n;
    // Following a run, the axis moves on by half a span when the run reaches its right end,
    // rather than every second: most seconds then only add a point to each line.
    if (atEnd_ && (all || n - 1 > panels_.front().x->max())) {
        const double start = std::max(0.0, n - 1 - FollowedSpan / 2);
        setTimeRange(start, start + FollowedSpan);
    }
    showSpectrum(spectrumSecond_);
    // While a run is followed, the facts and its row in the list (their text lays out again
    // whenever it changes) move on every few seconds, and at once when the run ends.
    if (all || n % FactsEvery == 0 || !reader_->live()) {
        showFacts();
        updateOpenRow();
    }
}

void ViewerWindow::showFacts() {
    if (!reader_)
        return;
    // Two columns, as in the report.
    const QStringList facts = reportFacts(*reader_, *analysis_);
    const int half = static_cast<int>((facts.size() + 1) / 2);
    QString html = QStringLiteral("<table cellspacing=0 cellpadding=1>");
    for (int i = 0; i < half; ++i)
        html += QStringLiteral("<tr><td>%1</td><td width=24></td><td>%2</td></tr>")
                    .arg(facts[i].toHtmlEscaped(),
                         i + half < facts.size() ? facts[i + half].toHtmlEscaped() : QString());
    facts_->setText(html + QStringLiteral("</table>"));
    if (facts_->height() != facts_->sizeHint().height())
        facts_->setFixedHeight(facts_->sizeHint().height());
}

void ViewerWindow::showSecond(double at) {
    if (!analysis_ || shown_ == 0)
        return;
    const int s = std::clamp(static_cast<int>(std::lround(at)), 0, shown_ - 1);
    for (Panel& panel : panels_)
        panel.cursor->replace({QPointF(s, panel.y->min()), QPointF(s, panel.y->max())});
    const SessionAnalysis& a = *analysis_;
    const OutputState& out = a.perSecond()[s];
    QString text = tr("Second %1: volumes %2 / %3").arg(s).arg(out.volume00).arg(out.volume01);
    if (a.share00()[s] >= 0.0F)
        text += tr(", share 00 %1 %").arg(100.0 * a.share00()[s], 0, 'f', 1);
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
        const ChannelSeconds& c = a.channel(slot);
        text += tr("; %1: total %2, %3 %4, out of range %5 %")
                    .arg(QString::fromStdString(c.label))
                    .arg(c.total[s], 0, 'f', 1)
                    .arg(band_->currentText())
                    .arg(c.bands[s][band_->currentIndex()], 0, 'f', 1)
                    .arg(100.0 * c.contactShare[s], 0, 'f', 0);
    }
    readout_->setText(text);
    showSpectrum(s);
}

void ViewerWindow::showSpectrum(int second) {
    spectrumSecond_ = second;
    if (!analysis_ || shown_ == 0) {
        for (QLineSeries* line : spectrumLines_)
            line->clear();
        return;
    }
    const int s = second < 0 || second >= shown_ ? shown_ - 1 : second;
    double top = 0.0;
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
        QList<QPointF> points;
        for (int k = 1; k < 50; ++k) { // bin 0 is the mean, not EEG
            const double v = analysis_->channel(slot).spectrum[s][k];
            points.append(QPointF(k, v));
            top = std::max(top, v);
        }
        spectrumLines_[slot]->replace(points);
    }
    spectrum_->axes(Qt::Vertical).constFirst()->setRange(0, niceTop(top));
    spectrum_->setTitle(
        tr("Spectrum of second %1%2").arg(s).arg(second < 0 ? tr(" (the last)") : QString()));
}

void ViewerWindow::updateOpenRow() {
    for (int row = 0; row < static_cast<int>(history_.size()); ++row)
        if (history_[row].recording == reader_->recording() ||
            history_[row].stamp == reader_->paths().stamp()) {
            history_[row] = summarise(*reader_, *analysis_);
            showRow(row);
        }
}

void ViewerWindow::refreshHistory() {
    history_ = sessionHistory(folder_);
    rowTexts_.clear();
    sessions_->setRowCount(static_cast<int>(history_.size()));
    for (int row = 0; row < static_cast<int>(history_.size()); ++row)
        showRow(row);
    sessions_->resizeColumnsToContents();
    updateHistoryChart();
}

void ViewerWindow::showRow(int row) {
    {
        const SessionSummary& s = history_[row];
        const bool bad = !s.error.empty();
        const QStringList cells = {
            bad ? QString::fromStdString(s.stamp) : QString::fromStdString(s.start),
            bad ? QString() : QStringLiteral("%1 s").arg(s.seconds),
            bad ? QString::fromStdString(s.error) : QString::fromStdString(s.source),
            bad ? QString() : QStringLiteral("%1 %").arg(100.0 * s.meanShare00, 0, 'f', 1),
            bad ? QString() : QStringLiteral("%1 %").arg(100.0 * s.shareLed00, 0, 'f', 1),
            bad ? QString() : QString::number(s.meanAlpha, 'f', 2),
            bad ? QString() : QStringLiteral("%1 s").arg(s.poorSeconds),
            bad ? tr("unreadable")
                : (s.live ? tr("recording") : tr("ended")) +
                      (s.fault.empty() ? QString() : "; " + QString::fromStdString(s.fault))};
        if (static_cast<int>(rowTexts_.size()) <= row)
            rowTexts_.resize(static_cast<std::size_t>(row) + 1);
        QStringList& shownCells = rowTexts_[row];
        for (int column = 0; column < cells.size(); ++column) {
            if (column < shownCells.size() && shownCells[column] == cells[column])
                continue;
            if (QTableWidgetItem* item = sessions_->item(row, column); item != nullptr)
                item->setText(cells[column]);
            else
                sessions_->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
        shownCells = cells;
    }
}

void ViewerWindow::updateHistoryChart() {
    historyChart_->removeAllSeries();
    for (QAbstractAxis* axis : historyChart_->axes())
        historyChart_->removeAxis(axis);
    auto* x = new QValueAxis;
    x->setTitleText(tr("session"));
    x->setLabelFormat(QStringLiteral("%d"));
    auto* percent = new QValueAxis;
    percent->setRange(0, 100);
    percent->setTitleText(tr("%"));
    auto* amplitude = new QValueAxis;
    amplitude->setTitleText(tr("alpha"));
    historyChart_->addAxis(x, Qt::AlignBottom);
    historyChart_->addAxis(percent, Qt::AlignLeft);
    historyChart_->addAxis(amplitude, Qt::AlignRight);
    const QString names[] = {tr("mean share of 00 (%)"), tr("00 led (%)"), tr("mean alpha"),
                             tr("poor contact (% of time)")};
    double alphaTop = 0.0;
    int index = 0;
    std::vector<QLineSeries*> lines;
    for (int i = 0; i < 4; ++i) {
        auto* line = new QLineSeries;
        line->setName(names[i]);
        line->setColor(Colours[i]);
        line->setPointsVisible(true);
        lines.push_back(line);
    }
    for (auto row = history_.rbegin(); row != history_.rend(); ++row) {
        if (!row->error.empty() || row->seconds == 0)
            continue;
        lines[0]->append(index, 100.0 * row->meanShare00);
        lines[1]->append(index, 100.0 * row->shareLed00);
        lines[2]->append(index, row->meanAlpha);
        lines[3]->append(index, 100.0 * row->poorSeconds / row->seconds);
        alphaTop = std::max(alphaTop, row->meanAlpha);
        ++index;
    }
    x->setRange(0, std::max(index - 1, 1));
    QStringList faults;
    for (const SessionSummary& row : history_)
        if (!row.fault.empty())
            faults << QStringLiteral("%1: %2").arg(QString::fromStdString(row.start),
                                                   QString::fromStdString(row.fault));
    historyFaults_->setText(faults.join('\n'));
    historyFaults_->setVisible(!faults.isEmpty());
    amplitude->setRange(0, niceTop(alphaTop));
    for (int i = 0; i < 4; ++i) {
        historyChart_->addSeries(lines[i]);
        lines[i]->attachAxis(x);
        lines[i]->attachAxis(i == 2 ? amplitude : percent);
    }
}

void ViewerWindow::saveReport() {
    if (!reader_)
        return;
    const QString file = QFileDialog::getSaveFileName(
        this, tr("Save the report"),
        QString::fromStdString((folder_ / (reader_->paths().stamp() + ".pdf")).string()),
        tr("PDF (*.pdf);;PNG image (*.png)"));
    if (file.isEmpty())
        return;
    QString error;
    if (!writeReport(file, *reader_, *analysis_, error))
        QMessageBox::warning(this, tr("Report not written"), error);
}

} // namespace solvane::viewer
