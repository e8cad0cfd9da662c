#include "viewer/BidsExportCommand.h"

#include "bids/BidsExport.h"
#include "bids/ExportError.h"

#include <cstdio>
#include <optional>

namespace solvane::viewer {

using bids::ExportedSession;

BidsExportCommand::BidsExportCommand()
    : exportOption_(QStringLiteral("export-bids"),
                    QStringLiteral("Export the kept sessions (or those named, or those of the "
                                   "dates given) into the BIDS dataset <folder>."),
                    QStringLiteral("folder")),
      subjectOption_(QStringLiteral("subject"),
                     QStringLiteral("The participant's label in the dataset (default 01)."),
                     QStringLiteral("label"), QStringLiteral("01")),
      taskOption_(QStringLiteral("task"),
                  QStringLiteral("The task's label in the dataset (default neurofeedback)."),
                  QStringLiteral("label"), QStringLiteral("neurofeedback")),
      lineOption_(QStringLiteral("line-frequency"),
                  QStringLiteral("The power line's frequency where the EEG was recorded, in Hz "
                                 "(default 50)."),
                  QStringLiteral("Hz"), QStringLiteral("50")),
      fromOption_(QStringLiteral("from"),
                  QStringLiteral("Export only the sessions begun on this day or later."),
                  QStringLiteral("YYYY-MM-DD")),
      toOption_(QStringLiteral("to"),
                QStringLiteral("Export only the sessions begun on this day or earlier."),
                QStringLiteral("YYYY-MM-DD")) {}

void BidsExportCommand::addTo(QCommandLineParser& parser) const {
    parser.addOptions(
        {exportOption_, subjectOption_, taskOption_, lineOption_, fromOption_, toOption_});
}

int BidsExportCommand::run(const QCommandLineParser& parser,
                           const std::filesystem::path& sessions) const {
    bids::ExportOptions options;
    options.sessions = sessions;
    for (const QString& named : parser.positionalArguments())
        options.recordings.emplace_back(named.toStdString());
    options.subject = parser.value(subjectOption_).toStdString();
    options.sidecar.task = parser.value(taskOption_).toStdString();
    options.from = parser.value(fromOption_).toStdString();
    options.to = parser.value(toOption_).toStdString();
    bool number = false;
    options.sidecar.lineFrequency = parser.value(lineOption_).toInt(&number);
    if (!number) {
        std::fprintf(stderr, "solvane-view: --line-frequency needs a whole number of hertz\n");
        return 2;
    }
    const std::filesystem::path dataset = parser.value(exportOption_).toStdString();
    std::optional<bids::BidsExport> exporter;
    try {
        exporter.emplace(dataset, options);
    } catch (const bids::ExportError& e) {
        std::fprintf(stderr, "solvane-view: %s\n", e.what());
        return 2;
    }
    int counts[3] = {};
    try {
        exporter->run([&counts](const ExportedSession& session) {
            const std::string name = session.recording.filename().string();
            ++counts[static_cast<int>(session.outcome)];
            switch (session.outcome) {
            case ExportedSession::Outcome::Exported:
                std::printf("%s: exported as %s\n", name.c_str(), session.folder.c_str());
                if (!session.reason.empty())
                    std::printf("  %s\n", session.reason.c_str());
                break;
            case ExportedSession::Outcome::AlreadyThere:
                std::printf("%s: already in the dataset as %s\n", name.c_str(),
                            session.folder.c_str());
                break;
            case ExportedSession::Outcome::Skipped:
                std::fprintf(stderr, "solvane-view: %s is left out: %s\n",
                             session.recording.string().c_str(), session.reason.c_str());
                break;
            }
            std::fflush(stdout);
            return true;
        });
    } catch (const bids::ExportError& e) {
        std::fprintf(stderr, "solvane-view: %s\n", e.what());
        return 1;
    }
    std::printf("%d exported, %d already in the dataset, %d left out, into %s\n", counts[0],
                counts[1], counts[2], dataset.string().c_str());
    return counts[2] == 0 ? 0 : 1;
}

} // namespace solvane::viewer
