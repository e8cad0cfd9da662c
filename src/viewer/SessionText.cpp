#include "viewer/SessionText.h"

#include <QDir>

#include <cmath>

namespace solvane::viewer {

QString notYetKnown() {
    return QStringLiteral("not yet known");
}

QString unknown(const SessionFigures& figures) {
    return figures.live ? notYetKnown() : QStringLiteral("not recorded");
}

QString homeShortened(const QString& text) {
    const QString home = QDir::homePath();
    if (home.isEmpty() || home == QStringLiteral("/"))
        return text;
    QString out = text;
    return out.replace(home + QLatin1Char('/'), QStringLiteral("~/"));
}

QString lengthText(double seconds) {
    const long long s = std::llround(std::max(seconds, 0.0));
    if (s >= 3600)
        return QStringLiteral("%1 h %2 min %3 s")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    if (s >= 60)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 s").arg(s);
}

QString durationText(double seconds) {
    if (seconds < 60.0)
        return QStringLiteral("%1 s").arg(seconds, 0, 'f', seconds < 10.0 ? 1 : 0);
    return QStringLiteral("%1 min").arg(seconds / 60.0, 0, 'f', 1);
}

QString percentText(double share) {
    return QStringLiteral("%1 %").arg(100.0 * share, 0, 'f', 1);
}

QString sourceText(const SessionFigures& f) {
    const QString kind = QString::fromLatin1(kindName(f.kind));
    const QString words = homeShortened(QString::fromStdString(f.source));
    switch (f.kind) {
    case SourceKind::Recording:
        if (!f.sourceRecording.empty())
            return kind + QStringLiteral(": ") +
                   homeShortened(QString::fromStdString(f.sourceRecording));
        break;
    case SourceKind::Stream:
        if (!f.sourceStream.empty())
            return kind + QStringLiteral(": ") + QString::fromStdString(f.sourceStream) +
                   (f.sourceHost.empty()
                        ? QString()
                        : QStringLiteral(" on ") + QString::fromStdString(f.sourceHost));
        break;
    case SourceKind::Synthetic:
        return words.isEmpty() ? kind : words;
    case SourceKind::Board:
    case SourceKind::Unknown:
        break;
    }
    if (words.isEmpty())
        return unknown(f);
    return kind.isEmpty() ? words : kind + QStringLiteral(": ") + words;
}

QString groupText(const SessionFigures& f, int group) {
    QStringList parts;
    for (const int slot : SessionFigures::GroupSlots[group]) {
        const ChannelFigures& c = f.channel[slot];
        parts << (c.inUse
                      ? QStringLiteral("%1 (slot %2)").arg(QString::fromStdString(c.name)).arg(slot)
                      : QStringLiteral("slot %1 not in use").arg(slot));
    }
    return parts.join(QStringLiteral(", "));
}

QString tonesText(const SessionFigures& f) {
    if (!f.baseFrequency)
        return f.desiredFrequency
                   ? QStringLiteral("no tone was sent (beat %1 Hz set)").arg(*f.desiredFrequency)
                   : unknown(f);
    return QStringLiteral("%1 Hz on output 00, %2 Hz on output 01, beat %3 Hz%4")
        .arg(*f.baseFrequency)
        .arg(*f.secondFrequency)
        .arg(std::abs(*f.secondFrequency - *f.baseFrequency))
        .arg(f.tonesChanged ? QStringLiteral(" (at the end; they changed during the run)")
                            : QString());
}

QString stateText(const SessionFigures& f) {
    if (f.live)
        return QStringLiteral("still recording");
    if (f.crashed)
        return QStringLiteral("ended without closing its recording");
    return QStringLiteral("ended");
}

QString contactRuleText(const SessionFigures& f) {
    return QStringLiteral("Contact judged as Solvane's scalp map judges it: every %1 s (129 "
                          "packets), poor when 64 of 128 samples fall outside 5..1020.")
        .arg(f.contactWindowSeconds, 0, 'f', 2);
}

QStringList factLines(const SessionFigures& f) {
    const auto group = [&f](int g) {
        QStringList names;
        for (const int slot : SessionFigures::GroupSlots[g])
            names << (f.channel[slot].inUse ? QString::fromStdString(f.channel[slot].name)
                                            : QStringLiteral("none"));
        return QStringLiteral("Group 0%1 (slots %2 and %3, output 0%1): %4")
            .arg(g)
            .arg(SessionFigures::GroupSlots[g][0])
            .arg(SessionFigures::GroupSlots[g][1])
            .arg(names.join(QStringLiteral(", ")));
    };
    const auto output = [&f](int o) {
        const Feedback& fb = f.feedback;
        if (fb.soundSeconds <= 0.0)
            return QStringLiteral("Output 0%1: no sound yet").arg(o);
        return QStringLiteral("Output 0%1: mean share %2, led %3 (%4)")
            .arg(o)
            .arg(percentText(fb.meanShare[o]), durationText(fb.ledSeconds[o]),
                 percentText(fb.ledSeconds[o] / fb.soundSeconds));
    };
    QStringList lines;
    lines << QStringLiteral("Start %1, %2, %3")
                 .arg(f.start.empty() ? unknown(f) : QString::fromStdString(f.start),
                      lengthText(f.seconds), stateText(f));
    lines << group(0) << group(1);
    lines << QStringLiteral("Source: %1").arg(sourceText(f));
    const QString tones = f.baseFrequency
                              ? QStringLiteral("tones %1 and %2 Hz, beat %3 Hz%4")
                                    .arg(*f.baseFrequency)
                                    .arg(*f.secondFrequency)
                                    .arg(std::abs(*f.secondFrequency - *f.baseFrequency))
                                    .arg(f.tonesChanged ? QStringLiteral(" at the end") : QString())
                              : QStringLiteral("tones %1").arg(unknown(f));
    lines << QStringLiteral("Volume %1; %2")
                 .arg(f.volume ? QString::number(*f.volume) : unknown(f), tones);
    lines << output(0) << output(1);
    lines << QStringLiteral("Good contact on all channels in use: %1; poor: %2 s")
                 .arg(f.goodContactShare ? percentText(*f.goodContactShare) : unknown(f))
                 .arg(f.poorSeconds, 0, 'f', 1);
    for (const std::string& note : f.notes)
        lines << QString::fromStdString(note);
    return lines;
}

} // namespace solvane::viewer
