#include "viewer/SessionReport.h"

#include "session/OutputFile.h"
#include "viewer/PlotColours.h"
#include "viewer/PlotPainter.h"
#include "viewer/ReportColumn.h"
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
        cell(0, c, header[c], QuietColour);
    for (int output = 0; output < 2; ++output) {
        const QString name = QStringLiteral("output 0%1").arg(output);
        cell(1 + output, 0, name, InkColour);
        if (f.feedback.soundSeconds > 0.0) {
            cell(1 + output, 1, percentText(f.feedback.meanShare[output]), InkColour);
            cell(1 + output, 2, ledText(f.feedback, output), InkColour);
        } else {
            cell(1 + output, 1, QStringLiteral("no sound"), QuietColour);
        }
    }
    painter.setPen(QuietColour);
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
    painter.setPen(InkColour);
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
        painter.setPen(QuietColour);
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
             InkColour, Qt::AlignLeft | Qt::AlignVCenter);
        for (int c = 0; c < 5; ++c)
            text(x + c * cellWidth, top + line, cellWidth, bandHeads[c], QuietColour);
    }
    text(area.left(), top + line, timeWidth, QStringLiteral("time"), QuietColour,
         Qt::AlignLeft | Qt::AlignVCenter);
    painter.setPen(QPen(RuleColour, 0));
    painter.drawLine(QPointF(area.left(), top + 2 * line), QPointF(area.right(), top + 2 * line));
    double y = top + 2 * line;
    for (const AmplitudeRow& row : f.rows) {
        text(area.left(), y, timeWidth,
             PlotPainter::timeText(row.from) + QStringLiteral("-") + PlotPainter::timeText(row.to),
             InkColour, Qt::AlignLeft | Qt::AlignVCenter);
        for (std::size_t g = 0; g < used.size(); ++g) {
            const double x = area.left() + timeWidth + static_cast<double>(g) * groupWidth;
            const AmplitudeRow::Channel& c = row.channel[static_cast<std::size_t>(used[g])];
            text(x, y, cellWidth, QString::number(c.total, 'f', 1), InkColour);
            for (int b = 0; b < Bands; ++b)
                text(x + (b + 1) * cellWidth, y, cellWidth, QString::number(c.bands[b], 'f', 1),
                     InkColour);
        }
        y += line;
    }
    for (std::size_t g = 1; g < used.size(); ++g) {
        const double x = area.left() + timeWidth + static_cast<double>(g) * groupWidth - 2;
        painter.setPen(QPen(RuleColour, 0));
        painter.drawLine(QPointF(x, top), QPointF(x, y));
    }
    return y;
}

/// The page being painted: its fonts and the room within its margins.
struct Page {
    QPainter& painter;
    QFont font;  ///< the text's
    QFont small; ///< the footer's and the contact rule's
    double line; ///< the text's line height
    QRectF inner;
};

/// The title and the moment, with a rule under them; where the columns begin.
double paintTitle(const Page& p, const SessionFigures& f) {
    QPainter& painter = p.painter;
    QFont title = p.font;
    title.setPixelSize(p.font.pixelSize() * 3 / 2);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(InkColour);
    const double titleHeight = QFontMetricsF(title).height() * 1.3;
    const QRectF row(p.inner.left(), p.inner.top(), p.inner.width(), titleHeight);
    painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Solvane session report"));
    painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter,
                     (f.start.empty() ? unknown(f) : QString::fromStdString(f.start)) +
                         QStringLiteral(", ") + lengthText(f.seconds));
    painter.setFont(p.font);
    const double y = p.inner.top() + titleHeight + p.line * 0.3;
    painter.setPen(QPen(RuleColour, 0));
    painter.drawLine(QPointF(p.inner.left(), y - p.line * 0.2),
                     QPointF(p.inner.right(), y - p.line * 0.2));
    return y;
}

double paintSessionColumn(const Page& p, const QRectF& area, const SessionFigures& f,
                          const ReportNotes& notes) {
    ReportColumn session(p.painter, area);
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
    return session.bottom();
}

double paintProtocolColumn(const Page& p, const QRectF& area, const SessionFigures& f) {
    ReportColumn protocol(p.painter, area);
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
                  QuietColour);
    return protocol.bottom();
}

/// The feedback's table and the contact below it.
double paintFeedbackColumn(const Page& p, const QRectF& area, const SessionFigures& f) {
    QPainter& painter = p.painter;
    ReportColumn feedback(painter, area);
    feedback.heading(QStringLiteral("Feedback"));
    const double afterFeedback =
        paintFeedback(painter, QRectF(area.left(), feedback.bottom(), area.width(), p.line * 5), f);
    ReportColumn quality(painter, QRectF(area.left(), afterFeedback + p.line * 0.4, area.width(),
                                         area.bottom() - afterFeedback));
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
    painter.setFont(p.small);
    quality.fact(QString(), contactRuleText(f), QuietColour);
    painter.setFont(p.font);
    return quality.bottom();
}

/// Where the session is and what made it and its report, in words.
QString whereText(const SessionReader& reader, const SessionFigures& f) {
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
    return where;
}

/// What is damaged or missing, and where the session is, along the bottom; the footer's top.
double paintFooter(const Page& p, const SessionReader& reader, const SessionFigures& f) {
    QPainter& painter = p.painter;
    const QRectF& inner = p.inner;
    painter.setFont(p.small);
    QStringList footer;
    for (const std::string& note : f.notes)
        footer << QString::fromStdString(note);
    const QString where = whereText(reader, f);
    const QString warnings = footer.join(QLatin1Char(' '));
    const double whereHeight = painter.boundingRect(inner, Qt::TextWordWrap, where).height();
    const double warningsHeight =
        warnings.isEmpty() ? 0.0 : painter.boundingRect(inner, Qt::TextWordWrap, warnings).height();
    const double footerTop = inner.bottom() - whereHeight - warningsHeight;
    painter.setPen(WarningColour);
    painter.drawText(QRectF(inner.left(), footerTop, inner.width(), warningsHeight),
                     Qt::TextWordWrap, warnings);
    painter.setPen(QuietColour);
    painter.drawText(QRectF(inner.left(), footerTop + warningsHeight, inner.width(), whereHeight),
                     Qt::TextWordWrap, where);
    painter.setFont(p.font);
    return footerTop;
}

/// The two plots over the whole run, side by side, from `top` to `bottom`.
void paintRunPlots(const Page& p, double top, double bottom, const SessionFigures& f,
                   const SessionAnalysis& analysis) {
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
    totals.shaded = analysis.poorSpans();
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
    const QRectF& inner = p.inner;
    const double plotGap = p.line * 1.5;
    const double plotWidth = (inner.width() - plotGap) / 2;
    const double plotHeight = std::max(bottom - top, p.line * 4);
    const QFontMetricsF metrics(p.font);
    const double axis =
        std::max(PlotPainter::axisWidth(metrics, share), PlotPainter::axisWidth(metrics, totals));
    PlotPainter::paint(p.painter, QRectF(inner.left(), top, plotWidth, plotHeight), share, axis);
    PlotPainter::paint(p.painter,
                       QRectF(inner.left() + plotWidth + plotGap, top, plotWidth, plotHeight),
                       totals, axis);
}

} // namespace

void paintReport(QPainter& painter, const QRectF& page, const SessionReader& reader,
                 const SessionAnalysis& analysis, const ReportNotes& notes) {
    const SessionFigures f = figuresOf(reader, analysis);
    painter.fillRect(page, PaperColour);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(std::max(static_cast<int>(page.height() / 64), 6));
    painter.setFont(font);
    QFont small = font;
    small.setPixelSize(std::max(font.pixelSize() * 5 / 6, 5));
    const double line = QFontMetricsF(font).height();
    const double margin = page.width() * 0.035;
    const Page p{painter, font, small, line,
                 page.adjusted(margin, margin * 0.8, -margin, -margin * 0.8)};
    const QRectF& inner = p.inner;
    double y = paintTitle(p, f);

    // Three columns: the session, the protocol, the feedback and the contact.
    const double gap = line * 1.5;
    const double third = (inner.width() - 2 * gap) / 3;
    const double height = inner.height() * 0.5;
    const double columnsEnd = std::max(
        {paintSessionColumn(p, QRectF(inner.left(), y, third, height), f, notes),
         paintProtocolColumn(p, QRectF(inner.left() + third + gap, y, third, height), f),
         paintFeedbackColumn(p, QRectF(inner.left() + 2 * (third + gap), y, third, height), f)});

    y = columnsEnd + line * 0.6;
    painter.setPen(QPen(RuleColour, 0));
    painter.drawLine(QPointF(inner.left(), y - line * 0.3), QPointF(inner.right(), y - line * 0.3));
    y = paintAmplitudes(painter, QRectF(inner.left(), y, inner.width(), inner.bottom() - y), f) +
        line * 0.8;
    const double footerTop = paintFooter(p, reader, f);
    paintRunPlots(p, y, footerTop - QFontMetricsF(small).height() * 0.5, f, analysis);
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
