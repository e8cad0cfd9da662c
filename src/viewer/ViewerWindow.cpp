#include "viewer/ViewerWindow.h"

#include "viewer/HistoryView.h"
#include "viewer/PlotColours.h"
#include "viewer/PlotView.h"
#include "viewer/SessionList.h"
#include "viewer/SessionPanels.h"
#include "viewer/SessionText.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace solvane::viewer {

namespace {

/// How often the facts of a followed run are brought up to date, in seconds.
constexpr int FactsEvery = 5;

/// A label whose text never sets the window's width: it wraps within what it is given.
QLabel* wrappingLabel() {
    auto* label = new QLabel;
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

std::array<QString, 4> namesOf(const SessionFigures& figures) {
    std::array<QString, 4> names;
    for (int slot = 0; slot < 4; ++slot)
        names[slot] = QString::fromStdString(figures.channel[slot].name);
    return names;
}

} // namespace

ViewerWindow::ViewerWindow(std::filesystem::path folder, const std::filesystem::path& first,
                           QWidget* parent)
    : QMainWindow(parent), folder_(std::move(folder)) {
    setWindowTitle(tr("Solvane sessions"));

    list_ = new SessionList;
    connect(list_, &SessionList::chosen, this, &ViewerWindow::openSession);
    history_ = new HistoryView;
    connect(history_, &HistoryView::said, this,
            [this](const QString& message) { statusBar()->showMessage(message); });

    auto* tabs = new QTabWidget;
    tabs->addTab(sessionPage(), tr("Session"));
    tabs->addTab(history_, tr("History"));
    auto* main = new QSplitter(Qt::Horizontal);
    main->addWidget(list_);
    main->addWidget(tabs);
    main->setStretchFactor(1, 3);
    main->setChildrenCollapsible(false);
    setCentralWidget(main);
    list_->setMinimumWidth(fontMetrics().height() * 8);
    menuBar()
        ->addMenu(tr("&Solvane"))
        ->addAction(tr("&Set up channels and source..."), this, &ViewerWindow::setUpRequested);
    statusBar()->showMessage(homeShortened(QString::fromStdString(folder_.string())));
    placeWithinScreen(*main);

    refreshHistory();
    if (!first.empty())
        openSession(first);
    else if (!list_->rows().empty())
        openSession(list_->rows().front().recording); // the newest: the run going, if any
    else
        showSession(true);

    auto* timer = new QTimer(this);
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &ViewerWindow::follow);
    timer->start();
}

QWidget* ViewerWindow::sessionPage() {
    facts_ = wrappingLabel();
    readout_ = wrappingLabel();
    readout_->setText(tr("Point at a moment to read it. Wheel: zoom; Shift+wheel: scroll; drag: "
                         "a span; double click: the whole run."));
    panels_ = new SessionPanels;
    panels_->setMinimumHeight(fontMetrics().height() * 6 * SessionPanels::Panels);
    connect(panels_, &SessionPanels::secondPointed, this, &ViewerWindow::showSecond);
    auto* scroll = new QScrollArea;
    scroll->setWidget(panels_);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    spectrum_ = new PlotView;
    spectrum_->setObjectName(QStringLiteral("spectrum"));

    // However small the window, the facts, the readout, two panels' worth of plots and the
    // spectrum keep room to be read.
    const int line = fontMetrics().height();
    auto* factsArea = new QScrollArea;
    factsArea->setWidget(facts_);
    factsArea->setWidgetResizable(true);
    factsArea->setFrameShape(QFrame::NoFrame);
    factsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    factsArea->setFixedHeight(line * 5 + line / 2);
    readout_->setFixedHeight(line * 2 + line / 2);
    readout_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroll->setMinimumHeight(line * 8);
    spectrum_->setMinimumHeight(line * 7);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(factsArea);
    layout->addLayout(sessionTools());
    layout->addWidget(readout_);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(scroll);
    split->addWidget(spectrum_);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    layout->addWidget(split, 1);
    return page;
}

QLayout* ViewerWindow::sessionTools() {
    band_ = new QComboBox;
    for (const BandRange& band : BandBins)
        band_->addItem(QStringLiteral("%1 (%2-%3 Hz)")
                           .arg(QString::fromLatin1(band.name))
                           .arg(band.first)
                           .arg(band.last));
    band_->setCurrentIndex(Alpha);
    connect(band_, &QComboBox::currentIndexChanged, this,
            [this](int band) { panels_->setBand(static_cast<Band>(band)); });
    auto* whole = new QPushButton(tr("&Whole run"));
    connect(whole, &QPushButton::clicked, panels_, &SessionPanels::showWhole);
    auto* report = new QPushButton(tr("&Report..."));
    connect(report, &QPushButton::clicked, this, &ViewerWindow::saveReport);

    auto* tools = new QHBoxLayout;
    tools->addWidget(new QLabel(tr("Band:")));
    tools->addWidget(band_);
    tools->addWidget(whole);
    tools->addWidget(report);
    tools->addStretch();
    return tools;
}

void ViewerWindow::placeWithinScreen(QSplitter& main) {
    // Within the screen, whatever its size; from then on the user's size is kept.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available =
        screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 900);
    const QSize size(std::min(1280, available.width() * 19 / 20),
                     std::min(900, available.height() * 9 / 10));
    resize(size);
    move(available.center() - QPoint(size.width() / 2, size.height() / 2));
    main.setSizes({size.width() / 4, size.width() - size.width() / 4});
}

ViewerWindow::~ViewerWindow() = default;

bool ViewerWindow::openSession(const std::filesystem::path& recording) {
    try {
        session_ = std::make_unique<SessionFollower>(recording);
        problem_.clear();
    } catch (const std::exception& e) {
        session_.reset();
        problem_ = tr("%1 cannot be read: %2")
                       .arg(homeShortened(QString::fromStdString(recording.string())),
                            QString::fromLocal8Bit(e.what()));
        statusBar()->showMessage(problem_);
    }
    showSession(true);
    list_->setRows(list_->rows(), session_ ? session_->reader().recording() : recording);
    return session_ != nullptr;
}

void ViewerWindow::showSession(bool all) {
    if (!session_) {
        panels_->open(nullptr, {}, false);
        facts_->setText(problem_.isEmpty()
                            ? tr("No session in %1")
                                  .arg(homeShortened(QString::fromStdString(folder_.string())))
                            : problem_);
        setWindowTitle(tr("Solvane sessions"));
        showSpectrum();
        return;
    }
    const SessionFigures figures = figuresOf(session_->reader(), session_->analysis());
    const bool renamed = namesOf(figures) != names_;
    names_ = namesOf(figures);
    if (all || renamed) {
        panels_->open(&session_->analysis(), names_, session_->reader().live());
        setWindowTitle(tr("Solvane session %1").arg(QString::fromStdString(figures.stamp)));
    } else {
        panels_->grown(session_->reader().live());
    }
    showSpectrum();
    // While a run is followed, its facts and its row move on every few seconds (their text
    // lays out again whenever it changes), and at once when it ends.
    const int n = figures.seconds;
    if (all || !session_->going() || n - factsShownAt_ >= FactsEvery) {
        factsShownAt_ = n;
        showFacts();
        list_->updateRow(summarise(session_->reader(), session_->analysis()));
    }
}

void ViewerWindow::showFacts() {
    // Two columns, so that the plots keep the height of a small screen.
    const QStringList lines = factLines(figuresOf(session_->reader(), session_->analysis()));
    const auto half = (lines.size() + 1) / 2;
    QString html = QStringLiteral("<table width=\"100%\" cellspacing=0 cellpadding=1>");
    for (qsizetype i = 0; i < half; ++i)
        html += QStringLiteral("<tr><td width=\"50%\">%1</td><td>%2</td></tr>")
                    .arg(lines[i].toHtmlEscaped(),
                         i + half < lines.size() ? lines[i + half].toHtmlEscaped() : QString());
    facts_->setText(html + QStringLiteral("</table>"));
}

void ViewerWindow::follow() {
    if (session_) {
        try {
            const bool wasGoing = session_->going();
            if (session_->follow() || wasGoing != session_->going())
                showSession(false);
        } catch (const std::exception& e) {
            statusBar()->showMessage(
                tr("The session cannot be followed: %1").arg(QString::fromLocal8Bit(e.what())));
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
    const auto& rows = list_->rows();
    bool changed = recordings.size() != rows.size();
    for (std::size_t i = 0; !changed && i < recordings.size(); ++i)
        changed = recordings[i] != rows[i].recording;
    if (!changed)
        return;
    const bool followingNewest =
        !session_ || (!rows.empty() && session_->reader().recording() == rows.front().recording);
    refreshHistory();
    const auto& fresh = list_->rows();
    if (followingNewest && !fresh.empty() && fresh.front().live &&
        (!session_ || fresh.front().recording != session_->reader().recording()))
        openSession(fresh.front().recording);
}

void ViewerWindow::refreshHistory() {
    const auto rows = sessionHistory(folder_);
    list_->setRows(rows, session_ ? session_->reader().recording() : std::filesystem::path());
    history_->setRows(rows);
}

void ViewerWindow::showSecond(int s) {
    if (!session_ || s >= session_->analysis().seconds())
        return;
    const SessionAnalysis& a = session_->analysis();
    const OutputState& out = a.perSecond()[static_cast<std::size_t>(s)];
    QString text = tr("At %1: volumes %2 and %3")
                       .arg(PlotPainter::timeText(s))
                       .arg(out.volume00)
                       .arg(out.volume01);
    if (a.share00()[static_cast<std::size_t>(s)] >= 0.0F)
        text += tr(" (00: %1)").arg(percentText(a.share00()[s]));
    const int band = band_->currentIndex();
    text += tr(". Total, %1 (µV):").arg(QString::fromLatin1(BandBins[band].name));
    QStringList channels;
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
        if (!a.inUse(slot))
            continue;
        const ChannelSeconds& c = a.channel(slot);
        QString channel = tr("%1 %2, %3")
                              .arg(names_[slot])
                              .arg(c.total[s] * c.microvoltsPerCount, 0, 'f', 1)
                              .arg(c.bands[s][band] * c.microvoltsPerCount, 0, 'f', 1);
        if (c.outOfRangeShare[s] > 0.0F)
            channel += tr(" (%1 % out of range)").arg(100.0 * c.outOfRangeShare[s], 0, 'f', 0);
        channels << channel;
    }
    text += QLatin1Char(' ') + channels.join(QStringLiteral("; "));
    readout_->setText(text);
    readout_->setToolTip(text);
    showSpectrum();
}

void ViewerWindow::showSpectrum() {
    Plot plot;
    plot.timeAxis = false;
    plot.xUnit = QStringLiteral("Hz");
    plot.xFrom = 0.0;
    plot.xTo = 50.0;
    plot.empty = tr("No second recorded yet");
    const SessionAnalysis* a = session_ ? &session_->analysis() : nullptr;
    const int n = a != nullptr ? a->seconds() : 0;
    const std::optional<int> pointed = panels_->pointed();
    const int s = pointed && *pointed < n ? *pointed : n - 1;
    plot.title = s < 0 ? tr("Spectrum (µV per 1-Hz bin)")
                       : tr("Spectrum of the second at %1%2 (µV per 1-Hz bin)")
                             .arg(PlotPainter::timeText(s))
                             .arg(pointed ? QString() : tr(", the last"));
    if (s >= 0) {
        for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
            if (!a->inUse(slot))
                continue;
            const ChannelSeconds* c = &a->channel(slot);
            // Bin 0 is the mean, not EEG.
            plot.lines.push_back({names_[slot], ChannelColours[slot], 49, 1.0, 1.0, [c, s](int k) {
                                      return c->spectrum[s][k + 1] * c->microvoltsPerCount;
                                  }});
        }
    }
    plot.yTo = PlotPainter::roundTop(PlotPainter::highest(plot.lines, 0.0, 50.0) * 1.05);
    spectrum_->setPlot(std::move(plot));
}

bool ViewerWindow::writeReportTo(const QString& file, const ReportNotes& notes, QString& message) {
    if (!session_) {
        message = problem_.isEmpty() ? tr("No session is open.") : problem_;
        return false;
    }
    if (!writeReport(file, session_->reader(), session_->analysis(), notes, message))
        return false;
    message = tr("The report is written to %1").arg(homeShortened(file));
    return true;
}

void ViewerWindow::saveReport() {
    if (!session_) {
        QMessageBox::warning(this, tr("No report"),
                             problem_.isEmpty() ? tr("No session is open.") : problem_);
        return;
    }
    QDialog ask(this);
    ask.setWindowTitle(tr("Report"));
    auto* who = new QLineEdit;
    auto* note = new QPlainTextEdit;
    note->setTabChangesFocus(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    auto* form = new QFormLayout(&ask);
    form->addRow(tr("&Who:"), who);
    form->addRow(tr("&Note:"), note);
    form->addRow(buttons);
    if (ask.exec() != QDialog::Accepted)
        return;
    const QString file = QFileDialog::getSaveFileName(
        this, tr("Save the report"),
        // Not beside the sessions, which the viewer only reads.
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QString::fromStdString(session_->reader().paths().stamp()) +
                      QStringLiteral("_report.pdf")),
        tr("PDF (*.pdf);;PNG image (*.png)"));
    if (file.isEmpty())
        return;
    QString message;
    if (writeReportTo(file, {who->text().trimmed(), note->toPlainText().trimmed()}, message))
        statusBar()->showMessage(message);
    else
        QMessageBox::warning(this, tr("Report not written"), message);
}

} // namespace solvane::viewer
