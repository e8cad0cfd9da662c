#include "viewer/SessionReport.h"

#include "session/OutputFile.h"
#include "viewer/PlotColours.h"
#include "viewer/PlotPainter.h"
#include "viewer/SessionFigures.h"
#include "viewer/SessionText.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

namespace solvane::viewer {

namespace {

const QColor Ink(0x20, 0x20, 0x20);
const QColor Quiet(0x70, 0x70, 0x70);
const QColor Rule(0xc8, 0xc8, 0xc8);
const QColor Warning(0xb0, 0x20, 0x20);

/// Writes lines of "label: value" down a column, wrapping the values, and keeps its place.
class Column {
public:
    Column(QPainter& painter, const QRectF& area) : painter_(painter), area_(area) {
        y_ = area.top();
    }

    void heading(const QString& text) {
        QFont bold = painter_.font();
        bold.setBold(true);
        painter_.save();
        painter_.setFont(bold);
        painter_.setPen(Ink);
        const double line = QFontMetricsF(bold).height();
        painter_.drawText(QRectF(area_.left(), y_, area_.width(), line),
                          Qt::AlignLeft | Qt::AlignVCenter, text);
        painter_.restore();
        y_ += line * 1.15;
    }

    void fact(const QString& label, const QString& value, const QColor& colour = Ink) {
        const QFontMetricsF metrics(painter_.font());
        const double labelWidth =
            label.isEmpty() ? 0.0 : metrics.horizontalAdvance(label + QStringLiteral(": "));
        painter_.setPen(Quiet);
        painter_.drawText(QPointF(area_.left(), y_ + metrics.ascent()),
                          label.isEmpty() ? QString() : label + QStringLiteral(":"));
        const QRectF room(area_.left() + labelWidth, y_, area_.width() - labelWidth,
                          area_.bottom() - y_);
        const QRectF used = painter_.boundingRect(room, Qt::TextWordWrap, value);
        painter_.setPen(colour);
        painter_.drawText(room, Qt::TextWordWrap, value);
        y_ += std::max(used.height(), metrics.height()) + metrics.height() * 0.15;
    }

    void skip(double lines) { y_ += QFontMetricsF(painter_.font()).height() * lines; }
    [[nodiscard]] double bottom() const noexcept { return y_; }

private:
    QPainter& painter_;
    QRectF area_;
    double y_ = 0.0;
};

QString secondsText(double seconds) {
    return QStringLiteral("%1 s").arg(seconds, 0, 'f', 1);
}

QString ledText(const Feedback& f, int output) {
    return QStringLiteral("%1 min (%2)")
        .arg(f.ledSeconds[output] / 60.0, 0, 'f', 1)
        .arg(percentText(f.soundSeconds > 0.0 ? f.ledSeconds[output] / f.soundSeconds : 0.0));
}

/// The feedback as a small table: each output's mean share and the time it led.
double paintFeedback(QPainter& painter, const QRectF& area, const SessionFigures& f) {
    const QFontMetricsF metrics(painter.font());
    const double line = metrics.height() * 1.2;
    const double columns[] = {0.0, 0.30, 0.58};
    const QString header[] = {QString(), QStringLiteral("mean share"),
                              QStringLiteral("led (louder) for")};
    const auto cell = [&](int row, int column, const QString& text, const QColor& colour) {
        painter.setPen(colour);
        painter.drawText(QRectF(area.left() + area.width() * columns[column],
                                area.top() + row * line, area.width() * (column == 2 ? 0.42 : 0.28),
                                line),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
    };
    for (int c = 0; c < 3; ++c)
        cell(0, c, header[c], Quiet);
    for (int output = 0; output < 2; ++output) {
        const QString name = QStringLiteral("output 0%1").arg(output);
        cell(1 + output, 0, name, Ink);
        if (f.feedback.soundSeconds > 0.0) {
            cell(1 + output, 1, percentText(f.feedback.meanShare[output]), Ink);
            cell(1 + output, 2, ledText(f.feedback, output), Ink);
        } else {
            cell(1 + output, 1, QStringLiteral("no sound"), Quiet);
        }
    }
    painter.setPen(Quiet);
    double y = area.top() + 3 * line;
    if (f.feedback.soundSeconds > 0.0) {
        const double silent = std::max(f.seconds - f.feedback.soundSeconds, 0.0);
        const QString text =
            QStringLiteral("Shares of the %1 with sound; both alike for %2, silent for %3.")
                .arg(lengthText(f.feedback.soundSeconds), durationText(f.feedback.equalSeconds),
                     durationText(silent));
        const QRectF room(area.left(), y + (line - metrics.height()) / 2, area.width(), 4 * line);
        painter.drawText(room, Qt::TextWordWrap, text);
        y += painter.boundingRect(room, Qt::TextWordWrap, text).height() + line - metrics.height();
    }
    return y;
}

/// The amplitudes table: a row for each span of minutes, the channels in use side by side,
/// each with its total and its four bands.
double paintAmplitudes(QPainter& painter, const QRectF& area, const SessionFigures& f) {
    const QFontMetricsF metrics(painter.font());
    const double line = metrics.height() * 1.25;
    std::vector<int> used;
    for (const ChannelFigures& c : f.channel)
        if (c.inUse)
            used.push_back(c.slot);
    QFont bold = painter.font();
    bold.setBold(true);
    painter.save();
    painter.setFont(bold);
    painter.setPen(Ink);
    const QString per = f.rowMinutes == 1 ? QStringLiteral("minute")
                                          : QStringLiteral("%1 minutes").arg(f.rowMinutes);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), line),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Amplitudes (µV): means per %1, from the one-second spectra "
                                    "as Solvane computes them")
                         .arg(per));
    painter.restore();
    const double top = area.top() + line * 1.1;
    if (used.empty() || f.rows.empty()) {
        painter.setPen(Quiet);
        painter.drawText(QRectF(area.left(), top, area.width(), line),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         f.rows.empty() ? QStringLiteral("No second recorded yet")
                                        : QStringLiteral("No channel in use"));
        return top + line;
    }
    const QString bandHeads[] = {QStringLiteral("1-35 Hz"), QStringLiteral("δ 1-3"),
                                 QStringLiteral("θ 4-7"), QStringLiteral("α 8-12"),
                                 QStringLiteral("β 13-30")};
    const double timeWidth = metrics.horizontalAdvance(QStringLiteral("00:00-00:00  ")) * 1.1;
    const double groupWidth = (area.width() - timeWidth) / static_cast<double>(used.size());
    const double cellWidth = groupWidth / 5.0;
    const auto text = [&](double x, double y, double w, const QString& t, const QColor& colour,
                          Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter) {
        painter.setPen(colour);
        painter.drawText(QRectF(x, y, w - metrics.height() * 0.4, line), static_cast<int>(align),
                         t);
    };
    for (std::size_t g = 0; g < used.size(); ++g) {
        const double x = area.left() + timeWidth + static_cast<double>(g) * groupWidth;
        const int slot = used[g];
        painter.fillRect(QRectF(x + 2, top + line * 0.45, groupWidth * 0.06, line * 0.18),
                         ChannelColours[slot]);
        text(x + groupWidth * 0.08, top, groupWidth, QString::fromStdString(f.channel[slot].name),
             Ink, Qt::AlignLeft | Qt::AlignVCenter);
        for (int c = 0; c < 5; ++c)
            text(x + c * cellWidth, top + line, cellWidth, bandHeads[c], Quiet);
    }
    text(area.left(), top + line, timeWidth, QStringLiteral("time"), Quiet,
         Qt::AlignLeft | Qt::AlignVCenter);
    painter.setPen(QPen(Rule, 0));
    painter.drawLine(QPointF(area.left(), top + 2 * line), QPointF(area.right(), top + 2 * line));
    double y = top + 2 * line;
    for (const AmplitudeRow& row : f.rows) {
        text(area.left(), y, timeWidth,
             PlotPainter::timeText(row.from) + QStringLiteral("-") + PlotPainter::timeText(row.to),
             Ink, Qt::AlignLeft | Qt::AlignVCenter);
        for (std::size_t g = 0; g < used.size(); ++g) {
            const double x = area.left() + timeWidth + static_cast<double>(g) * groupWidth;
            const AmplitudeRow::Channel& c = row.channel[static_cast<std::size_t>(used[g])];
            text(x, y, cellWidth, QString::number(c.total, 'f', 1), Ink);
            for (int b = 0; b < Bands; ++b)
                text(x + (b + 1) * cellWidth, y, cellWidth, QString::number(c.bands[b], 'f', 1),
                     Ink);
        }
        y += line;
    }
    for (std::size_t g = 1; g < used.size(); ++g) {
        const double x = area.left() + timeWidth + static_cast<double>(g) * groupWidth - 2;
        painter.setPen(QPen(Rule, 0));
        painter.drawLine(QPointF(x, top), QPointF(x, y));
    }
    return y;
}

std::vector<std::pair<double, double>> poorSpans(const SessionAnalysis& analysis) {
    std::vector<std::pair<double, double>> spans;
    const double window = SessionAnalysis::ContactWindow / 256.0;
    const auto& verdicts = analysis.contact();
    for (std::size_t k = 0; k < verdicts.size(); ++k)
        if (std::any_of(verdicts[k].begin(), verdicts[k].end(), [](uint8_t p) { return p != 0; }))
            spans.emplace_back(static_cast<double>(k) * window,
                               static_cast<double>(k + 1) * window);
    return spans;
}

} // namespace

void paintReport(QPainter& painter, const QRectF& page, const SessionReader& reader,
                 const SessionAnalysis& analysis, const ReportNotes& notes) {
    const SessionFigures f = figuresOf(reader, analysis);
    painter.fillRect(page, Qt::white);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(std::max(static_cast<int>(page.height() / 64), 6));
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double line = metrics.height();
    const double margin = page.width() * 0.035;
    const QRectF inner = page.adjusted(margin, margin * 0.8, -margin, -margin * 0.8);

    // The title and the moment.
    QFont title = font;
    title.setPixelSize(font.pixelSize() * 3 / 2);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Ink);
    const double titleHeight = QFontMetricsF(title).height() * 1.3;
    painter.drawText(QRectF(inner.left(), inner.top(), inner.width(), titleHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Solvane session report"));
    painter.drawText(QRectF(inner.left(), inner.top(), inner.width(), titleHeight),
                     Qt::AlignRight | Qt::AlignVCenter,
                     (f.start.empty() ? unknown(f) : QString::fromStdString(f.start)) +
                         QStringLiteral(", ") + lengthText(f.seconds));
    painter.setFont(font);
    double y = inner.top() + titleHeight + line * 0.3;
    painter.setPen(QPen(Rule, 0));
    painter.drawLine(QPointF(inner.left(), y - line * 0.2), QPointF(inner.right(), y - line * 0.2));

    // Three columns: the session, the protocol, the feedback and the contact.
    const double gap = line * 1.5;
    const double third = (inner.width() - 2 * gap) / 3;
    const QRectF top(inner.left(), y, inner.width(), inner.height() * 0.5);
    Column session(painter, QRectF(top.left(), top.top(), third, top.height()));
    session.heading(QStringLiteral("Session"));
    session.fact(QStringLiteral("Who"),
                 notes.who.isEmpty() ? QStringLiteral("not given") : notes.who);
    session.fact(QStringLiteral("When"),
                 f.start.empty() ? unknown(f) : QString::fromStdString(f.start));
    session.fact(QStringLiteral("Length"),
                 QStringLiteral("%1, %2").arg(lengthText(f.seconds), stateText(f)));
    session.fact(QStringLiteral("Source"), sourceText(f));
    if (!notes.note.isEmpty())
        session.fact(QStringLiteral("Note"), notes.note);

    Column protocol(painter, QRectF(top.left() + third + gap, top.top(), third, top.height()));
    protocol.heading(QStringLiteral("Protocol"));
    protocol.fact(QStringLiteral("Group 00, output 00"), groupText(f, 0));
    protocol.fact(QStringLiteral("Group 01, output 01"), groupText(f, 1));
    protocol.fact(QStringLiteral("Volume"),
                  f.volume ? QStringLiteral("%1 (AVEVolume)").arg(*f.volume) : unknown(f));
    protocol.fact(QStringLiteral("Tones"), tonesText(f));
    if (f.desiredFrequency)
        protocol.fact(QStringLiteral("Desired beat"),
                      QStringLiteral("%1 Hz (AVEDesiredFrequency)").arg(*f.desiredFrequency));
    if (f.sampleRate)
        protocol.fact(QStringLiteral("Sample rate"),
                      QStringLiteral("%1 packets a second (DSUSampleRate)").arg(*f.sampleRate));
    protocol.fact(QStringLiteral("Balance"),
                  QStringLiteral("each output's share of the volume is its group's share of the "
                                 "four totals, 1-35 Hz"),
                  Quiet);

    const QRectF third3(top.left() + 2 * (third + gap), top.top(), third, top.height());
    Column feedback(painter, third3);
    feedback.heading(QStringLiteral("Feedback"));
    const double afterFeedback =
        paintFeedback(painter, QRectF(third3.left(), feedback.bottom(), third, line * 5), f);
    Column quality(painter, QRectF(third3.left(), afterFeedback + line * 0.4, third,
                                   top.bottom() - afterFeedback));
    quality.heading(QStringLiteral("Contact"));
    quality.fact(QStringLiteral("Good on all channels in use"),
                 f.goodContactShare
                     ? QStringLiteral("%1 of the session").arg(percentText(*f.goodContactShare))
                     : unknown(f));
    QStringList poor;
    for (const ChannelFigures& c : f.channel)
        if (c.inUse)
            poor << QStringLiteral("%1 %2").arg(QString::fromStdString(c.name),
                                                secondsText(c.poorSeconds));
    quality.fact(QStringLiteral("Poor contact"), poor.join(QStringLiteral(", ")));
    QFont small = font;
    small.setPixelSize(std::max(font.pixelSize() * 5 / 6, 5));
    painter.setFont(small);
    quality.fact(QString(), contactRuleText(f), Quiet);
    painter.setFont(font);

    y = std::max({session.bottom(), protocol.bottom(), quality.bottom()}) + line * 0.6;
    painter.setPen(QPen(Rule, 0));
    painter.drawLine(QPointF(inner.left(), y - line * 0.3), QPointF(inner.right(), y - line * 0.3));
    y = paintAmplitudes(painter, QRectF(inner.left(), y, inner.width(), inner.bottom() - y), f) +
        line * 0.8;

    // What is damaged or missing, and where the session is, along the bottom.
    painter.setFont(small);
    const QFontMetricsF smallMetrics(small);
    QStringList footer;
    for (const std::string& note : f.notes)
        footer << QString::fromStdString(note);
    QString where = QStringLiteral("Session %1: %2.")
                        .arg(QString::fromStdString(f.stamp),
                             homeShortened(QString::fromStdString(
                                 std::filesystem::absolute(reader.recording()).string())));
    if (!f.programVersion.empty())
        where +=
            QStringLiteral(" Recorded by Solvane %1%2.")
                .arg(QString::fromStdString(f.programVersion),
                     f.libraryVersion.empty() ? QString()
                                              : QStringLiteral(" on device library %1")
                                                    .arg(QString::fromStdString(f.libraryVersion)));
    where += QStringLiteral(" Report by solvane-view %1.")
                 .arg(QCoreApplication::applicationVersion().isEmpty()
                          ? QStringLiteral(SOLVANE_VERSION)
                          : QCoreApplication::applicationVersion());
    const QRectF footerRoom(inner.left(), inner.top(), inner.width(), inner.height());
    const QString warnings = footer.join(QLatin1Char(' '));
    const double whereHeight = painter.boundingRect(footerRoom, Qt::TextWordWrap, where).height();
    const double warningsHeight =
        warnings.isEmpty() ? 0.0
                           : painter.boundingRect(footerRoom, Qt::TextWordWrap, warnings).height();
    const double footerTop = inner.bottom() - whereHeight - warningsHeight;
    painter.setPen(Warning);
    painter.drawText(QRectF(inner.left(), footerTop, inner.width(), warningsHeight),
                     Qt::TextWordWrap, warnings);
    painter.setPen(Quiet);
    painter.drawText(QRectF(inner.left(), footerTop + warningsHeight, inner.width(), whereHeight),
                     Qt::TextWordWrap, where);
    painter.setFont(font);

    // The two plots over the whole run, side by side.
    const double plotsBottom = footerTop - smallMetrics.height() * 0.5;
    const double end = std::max(static_cast<double>(f.seconds), 1.0);
    Plot share;
    share.title = QStringLiteral("Output 00's share of the two volumes (%)");
    share.xTo = end;
    share.yTo = 100.0;
    share.guide = 50.0;
    share.empty = QStringLiteral("no sound");
    share.smooth = true;
    share.lines.push_back(
        {QStringLiteral("output 00"), Output00Colour, f.seconds, 0.5, 1.0, [&analysis](int i) {
             const float s = analysis.share00()[i];
             return s < 0.0F ? std::numeric_limits<double>::quiet_NaN() : 100.0 * s;
         }});
    Plot totals;
    totals.title = QStringLiteral("Total amplitude, 1-35 Hz (µV), poor contact shaded");
    totals.xTo = end;
    totals.shaded = poorSpans(analysis);
    totals.empty = QStringLiteral("no second recorded yet");
    totals.smooth = true;
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot)
        if (f.channel[slot].inUse) {
            const ChannelSeconds* c = &analysis.channel(slot);
            totals.lines.push_back({QString::fromStdString(f.channel[slot].name),
                                    ChannelColours[slot], f.seconds, 0.5, 1.0,
                                    [c](int i) { return c->total[i] * c->microvoltsPerCount; }});
        }
    totals.yTo = PlotPainter::roundTop(PlotPainter::highest(totals.lines, 0.0, end) * 1.05);
    const double plotGap = line * 1.5;
    const double plotWidth = (inner.width() - plotGap) / 2;
    const double plotHeight = std::max(plotsBottom - y, line * 4);
    const double axis =
        std::max(PlotPainter::axisWidth(metrics, share), PlotPainter::axisWidth(metrics, totals));
    PlotPainter::paint(painter, QRectF(inner.left(), y, plotWidth, plotHeight), share, axis);
    PlotPainter::paint(painter,
                       QRectF(inner.left() + plotWidth + plotGap, y, plotWidth, plotHeight), totals,
                       axis);
}

bool writeReport(const QString& output, const SessionReader& reader,
                 const SessionAnalysis& analysis, const ReportNotes& notes, QString& error) {
    // Made in memory, then written into the file only when that is a plain file: a FIFO or
    // a device named as the output would hold the report for ever.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (output.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(150);
        writer.setTitle(QStringLiteral("Solvane session %1")
                            .arg(QString::fromStdString(reader.paths().stamp())));
        writer.setCreator(QStringLiteral("solvane-view"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = QStringLiteral("%1 cannot be written").arg(output);
            return false;
        }
        paintReport(painter, QRectF(0, 0, writer.width(), writer.height()), reader, analysis,
                    notes);
        if (!painter.end()) {
            error = QStringLiteral("%1 cannot be written").arg(output);
            return false;
        }
    } else {
        QImage image(1600, 1131, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        paintReport(painter, QRectF(0, 0, image.width(), image.height()), reader, analysis, notes);
        painter.end();
        const QString suffix = QFileInfo(output).suffix();
        if (!image.save(&buffer, suffix.toLatin1().constData())) {
            error = QStringLiteral("%1 cannot be written (the suffix %2 is not a known image type)")
                        .arg(output, suffix);
            return false;
        }
    }
    try {
        session::writeOutputFile(output.toStdString(),
                                 std::span<const char>(bytes.constData(), bytes.size()));
    } catch (const SessionError& e) {
        error = QString::fromStdString(e.what());
        return false;
    }
    return true;
}

} // namespace solvane::viewer
