#pragma once
// The words the window and the report give a session's figures: its length, source, groups,
// tones and contact, a folder below the home folder written from "~", and "not yet known"
// for whatever the files do not tell yet.

#include "viewer/SessionFigures.h"

#include <QString>
#include <QStringList>

namespace solvane::viewer {

/// What is shown for a fact the session's files do not hold yet.
QString notYetKnown();
/// What is shown for a fact that `figures` lack: not yet known while the run goes, not
/// recorded once it has ended.
QString unknown(const SessionFigures& figures);
/// `path` (or every path in a text) with the home folder written as "~".
QString homeShortened(const QString& text);
/// "1 h 02 min 05 s", "1 min 30 s", "12 s".
QString lengthText(double seconds);
/// "3.4 min", "45 s" for the time something lasted.
QString durationText(double seconds);
/// A share as "44.9 %".
QString percentText(double share);
/// The source in full, by its kind: "a recording: ~/demo/x.edf".
QString sourceText(const SessionFigures& figures);
/// The positions of group `group` (0 or 1): "O1 (slot 0), P3 (slot 2)".
QString groupText(const SessionFigures& figures, int group);
/// The tones and their beat: "200 Hz on output 00, 210 Hz on output 01, beat 10 Hz".
QString tonesText(const SessionFigures& figures);
/// "ended", "still recording", "ended without closing its recording".
QString stateText(const SessionFigures& figures);
/// The contact rule the quality figures use, in a sentence.
QString contactRuleText(const SessionFigures& figures);
/// The facts of a session as the window lists them.
QStringList factLines(const SessionFigures& figures);

} // namespace solvane::viewer
