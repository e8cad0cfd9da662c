#pragma once
// The one-page report of a session that a practitioner keeps: who, when and how long, with a
// note; the protocol (the positions of each group, the volume, the tones and the beat); the
// feedback (each output's mean share and the time it led); the channels' amplitudes as means
// per minute; the contact; and plots of output 00's share and the channels' totals over the
// whole run. Painted with QPainter onto a PDF page or an image, from SessionFigures.

#include "viewer/SessionAnalysis.h"

#include <QString>

class QPainter;
class QRectF;

namespace solvane::viewer {

/// What the user adds to a report.
struct ReportNotes {
    QString who;  ///< whose session it is; empty when not given
    QString note; ///< free text
};

/// Paints the whole report into `page`.
void paintReport(QPainter& painter, const QRectF& page, const SessionReader& reader,
                 const SessionAnalysis& analysis, const ReportNotes& notes = {});

/// Writes the report to `output`: a PDF for a name ending in .pdf, otherwise an image of the
/// type its suffix names. False with `error` set when it cannot be written.
bool writeReport(const QString& output, const SessionReader& reader,
                 const SessionAnalysis& analysis, const ReportNotes& notes, QString& error);

} // namespace solvane::viewer
