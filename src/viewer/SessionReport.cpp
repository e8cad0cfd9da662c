#include "viewer/SessionReport.h"

#include "session/OutputFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <functional>

namespace solvane::viewer {

namespace {

const QColor ChannelColours[SessionAnalysis::Channels] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
    QColor(0x94, 0x67, 0xbd)};
const QColor Output00(0x1f, 0x77, 0xb4);
const QColor Output01(0xff, 0x7f, 0x0e);

QString length(int seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

/// One line on a plot: values by second (or by bin), NaN where there is none.
struct Line {
    QColor colour;
    std::function<double(int)> value;
};

/// A framed plot of `lines` over x = 0..count-1 from `low` to `high`, titled, with the
/// second `mark` shaded when it is not negative.
void plot(QPainter& painter, const QRectF& area, const QString& title, int count, double low,
          double high, const std::vector<Line>& lines, const QString& xUnit,
          const std::vector<uint8_t>* shaded = nullptr) {
    const QFontMetricsF metrics(painter.font());
    const double titleHeight = metrics.height() * 1.2;
    const QRectF frame = area.adjusted(metrics.horizontalAdvance(QStringLiteral("0000.0 ")),
                                       titleHeight, -4, -metrics.height() * 1.3);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), titleHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, title);
    if (high <= low)
        high = low + 1.0;
    const int span = std::max(count - 1, 1);
    const auto x = [&](double i) { return frame.left() + frame.width() * i / span; };
    const auto y = [&](double v) {
        return frame.bottom() - frame.height() * (std::clamp(v, low, high) - low) / (high - low);
    };
    if (shaded != nullptr)
        for (int i = 0; i < static_cast<int>(shaded->size()); ++i)
            if ((*shaded)[i] != 0)
                painter.fillRect(
                    QRectF(x(i), frame.top(), std::max(frame.width() / span, 1.0), frame.height()),
                    QColor(255, 200, 200));
    painter.setPen(QPen(Qt::gray, 0));
    painter.drawRect(frame);
    painter.drawText(
        QRectF(area.left(), frame.top(), frame.left() - area.left() - 2, metrics.height()),
        Qt::AlignRight | Qt::AlignVCenter, QString::number(high, 'f', high < 10 ? 2 : 0));
    painter.drawText(QRectF(area.left(), frame.bottom() - metrics.height() / 2,
                            frame.left() - area.left() - 2, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(low, 'g', 3));
    painter.drawText(QRectF(frame.left(), frame.bottom(), frame.width(), metrics.height() * 1.3),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("0"));
    painter.drawText(QRectF(frame.left(), frame.bottom(), frame.width(), metrics.height() * 1.3),
                     Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(count > 0 ? count - 1 : 0) + " " + xUnit);
    painter.save();
    painter.setClipRect(frame);
    for (const Line& line : lines) {
        painter.setPen(QPen(line.colour, std::max(area.height() / 250.0, 1.0)));
        QPainterPath path;
        bool drawing = false;
        for (int i = 0; i < count; ++i) {
            const double v = line.value(i);
            if (std::isnan(v)) {
                drawing = false;
                continue;
            }
            if (drawing)
                path.lineTo(x(i), y(v));
            else
                path.moveTo(x(i), y(v));
            drawing = true;
        }
        painter.drawPath(path);
    }
    painter.restore();
}

double highest(int count, const std::vector<Line>& lines) {
    double top = 0.0;
    for (const Line& line : lines)
        for (int i = 0; i < count; ++i)
            if (const double v = line.value(i); !std::isnan(v))
                top = std::max(top, v);
    return top;
}

} // namespace

const char* sourceKind(const std::string& source) {
    if (source.rfind("synthetic", 0) == 0)
        return "synthetic";
    if (source.rfind("replay", 0) == 0)
        return "a recording";
    return "a live stream";
}

QStringList reportFacts(const SessionReader& reader, const SessionAnalysis& analysis) {
    QStringList facts;
    const OutputState last = analysis.last();
    facts << QStringLiteral("Session %1").arg(QString::fromStdString(reader.paths().stamp()));
    facts << QStringLiteral("Source: %1 (%2)")
                 .arg(QLatin1String(sourceKind(reader.source())),
                      QString::fromStdString(reader.source()));
    QStringList labels;
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot)
        labels << QString::fromStdString(analysis.channel(slot).label);
    facts << QStringLiteral("Channels: %1").arg(labels.join(QStringLiteral(", ")));
    facts << QStringLiteral("Base frequency %1 Hz, second frequency %2 Hz, beat %3 Hz")
                 .arg(last.baseFrequency)
                 .arg(last.secondFrequency)
                 .arg(std::abs(last.secondFrequency - last.baseFrequency));
    facts << QStringLiteral("Start %1, length %2 (%3 s)")
                 .arg(QString::fromStdString(reader.start()), length(analysis.seconds()))
                 .arg(analysis.seconds());
    facts << (reader.live()      ? QStringLiteral("Still going: recording")
              : reader.crashed() ? QStringLiteral("Ended without closing the recording")
                                 : QStringLiteral("Ended"));
    facts
        << QStringLiteral("Volumes at the end: 00 %1, 01 %2").arg(last.volume00).arg(last.volume01);
    facts << QStringLiteral("Mean share of output 00: %1 %, output 00 led %2 % of the time")
                 .arg(100.0 * analysis.meanShare00(), 0, 'f', 1)
                 .arg(100.0 * analysis.shareLed00(), 0, 'f', 1);
    QStringList bands;
    for (int b = 0; b < Bands; ++b)
        bands << QStringLiteral("%1 %2")
                     .arg(QLatin1String(BandBins[b].name))
                     .arg(analysis.meanBand(static_cast<Band>(b)), 0, 'f', 2);
    facts << QStringLiteral("Mean bands: %1").arg(bands.join(QStringLiteral(", ")));
    QStringList poor;
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot)
        poor << QStringLiteral("%1 %2 s")
                    .arg(QString::fromStdString(analysis.channel(slot).label))
                    .arg(analysis.channel(slot).poorSeconds);
    facts << QStringLiteral("Seconds of poor contact: %1 (%2)")
                 .arg(analysis.poorSeconds())
                 .arg(poor.join(QStringLiteral(", ")));
    // What is damaged or missing, so that a report never passes for a whole session.
    for (const std::string& note : reader.notes())
        facts << QString::fromStdString(note);
    return facts;
}

void paintReport(QPainter& painter, const QRectF& page, const SessionReader& reader,
                 const SessionAnalysis& analysis, int second) {
    painter.fillRect(page, Qt::white);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(std::max(static_cast<int>(page.height() / 70), 6));
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double margin = page.width() * 0.03;
    const QRectF inner = page.adjusted(margin, margin, -margin, -margin);

    // Facts in two columns along the top.
    const QStringList facts = reportFacts(reader, analysis);
    const int half = static_cast<int>((facts.size() + 1) / 2);
    const double lineHeight = metrics.height() * 1.15;
    painter.setPen(Qt::black);
    for (int i = 0; i < facts.size(); ++i) {
        const double column = i < half ? 0.0 : inner.width() / 2;
        const int row = i < half ? i : i - half;
        painter.drawText(QPointF(inner.left() + column, inner.top() + lineHeight * (row + 1)),
                         facts[i]);
    }
    const double plotsTop = inner.top() + lineHeight * (half + 1);
    const int n = analysis.seconds();
    const int shown = n == 0 ? -1 : (second < 0 || second >= n ? n - 1 : second);
    constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

    std::vector<Line> volumes = {
        {Output00, [&](int i) { return analysis.perSecond()[i].volume00; }},
        {Output01, [&](int i) { return analysis.perSecond()[i].volume01; }}};
    std::vector<Line> share = {{Qt::black, [&](int i) {
                                    const float s = analysis.share00()[i];
                                    return s < 0.0F ? NaN : 100.0 * s;
                                }}};
    std::vector<Line> totals;
    std::vector<Line> alpha;
    std::vector<Line> contact;
    std::vector<Line> spectrum;
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot) {
        const ChannelSeconds& c = analysis.channel(slot);
        totals.push_back({ChannelColours[slot], [&c](int i) { return double{c.total[i]}; }});
        alpha.push_back({ChannelColours[slot], [&c](int i) { return double{c.bands[i][Alpha]}; }});
        contact.push_back(
            {ChannelColours[slot], [&c](int i) { return 100.0 * c.contactShare[i]; }});
        if (shown >= 0)
            spectrum.push_back({ChannelColours[slot], [&c, shown](int k) {
                                    return k == 0 ? std::numeric_limits<double>::quiet_NaN()
                                                  : double{c.spectrum[shown][k]};
                                }});
    }
    std::vector<uint8_t> poor(static_cast<std::size_t>(n), 0);
    for (int slot = 0; slot < SessionAnalysis::Channels; ++slot)
        for (int i = 0; i < n; ++i)
            poor[i] = poor[i] | analysis.channel(slot).poor[i];

    // Three rows of two plots.
    const double rowHeight = (inner.bottom() - plotsTop) / 3;
    const double columnWidth = inner.width() / 2;
    const auto cell = [&](int row, int column) {
        return QRectF(inner.left() + column * columnWidth, plotsTop + row * rowHeight,
                      columnWidth - margin / 2, rowHeight - margin / 3);
    };
    plot(painter, cell(0, 0), QStringLiteral("Volumes: output 00 (blue), output 01 (orange)"), n, 0,
         std::max(highest(n, volumes), 1.0), volumes, QStringLiteral("s"));
    plot(painter, cell(0, 1), QStringLiteral("Share of output 00 (%)"), n, 0, 100, share,
         QStringLiteral("s"));
    plot(painter, cell(1, 0), QStringLiteral("Total amplitude 1-35 Hz per channel"), n, 0,
         highest(n, totals), totals, QStringLiteral("s"));
    plot(painter, cell(1, 1), QStringLiteral("Alpha (8-12 Hz) per channel"), n, 0,
         highest(n, alpha), alpha, QStringLiteral("s"));
    plot(painter, cell(2, 0), QStringLiteral("Samples out of range (%), poor contact shaded"), n, 0,
         100, contact, QStringLiteral("s"), &poor);
    plot(painter, cell(2, 1),
         shown >= 0 ? QStringLiteral("Spectrum of second %1").arg(shown)
                    : QStringLiteral("Spectrum (no second yet)"),
         shown >= 0 ? 50 : 0, 0, highest(shown >= 0 ? 50 : 0, spectrum), spectrum,
         QStringLiteral("Hz"));
}

bool writeReport(const QString& output, const SessionReader& reader,
                 const SessionAnalysis& analysis, QString& error) {
    // Made in memory, then written into the file only when that is a plain file: a FIFO or
    // a device named as the output would hold the report for ever.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (output.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setResolution(150);
        writer.setTitle(QStringLiteral("Solvane session %1")
                            .arg(QString::fromStdString(reader.paths().stamp())));
        writer.setCreator(QStringLiteral("solvane-view"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = QStringLiteral("%1 cannot be written").arg(output);
            return false;
        }
        paintReport(painter, QRectF(0, 0, writer.width(), writer.height()), reader, analysis);
        if (!painter.end()) {
            error = QStringLiteral("%1 cannot be written").arg(output);
            return false;
        }
    } else {
        QImage image(1400, 990, QImage::Format_RGB32);
        QPainter painter(&image);
        paintReport(painter, QRectF(0, 0, image.width(), image.height()), reader, analysis);
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
