#pragma once
// The one-page report of a session: its facts and summary figures as text, and the plots of
// the volumes and output 00's share, the channels' totals, the bands, the contact and the
// spectrum of one second, painted with QPainter onto a PDF page or an image.

#include "viewer/SessionAnalysis.h"

#include <QString>
#include <QStringList>

class QPainter;
class QRectF;

namespace solvane::viewer {

/// What kind of source a recording field's source text names: "synthetic", "a recording" or
/// "a live stream".
const char* sourceKind(const std::string& source);

/// The report's lines of facts and figures, as painted.
QStringList reportFacts(const SessionReader& reader, const SessionAnalysis& analysis);

/// Paints the whole report into `page`; `second` is the second whose spectrum is shown
/// (negative: the last).
void paintReport(QPainter& painter, const QRectF& page, const SessionReader& reader,
                 const SessionAnalysis& analysis, int second = -1);

/// Writes the report to `output`: a PDF for a name ending in .pdf, otherwise an image of the
/// type its suffix names. False with `error` set when it cannot be written.
bool writeReport(const QString& output, const SessionReader& reader,
                 const SessionAnalysis& analysis, QString& error);

} // namespace solvane::viewer
