#pragma once
// solvane-view --export-bids <dataset folder>: the options of the BIDS export on the command
// line, and the export itself, which reports each session on standard output and what went
// wrong on standard error.

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <filesystem>

namespace solvane::viewer {

class BidsExportCommand {
public:
    BidsExportCommand();
    void addTo(QCommandLineParser& parser) const;
    [[nodiscard]] bool wanted(const QCommandLineParser& parser) const {
        return parser.isSet(exportOption_);
    }
    /// Exports the sessions `parser` names, or the kept ones of `sessions`; the exit status:
    /// 0 when every session is in the dataset, 1 when one was left out or the dataset cannot
    /// be written, 2 for an option that cannot be used.
    [[nodiscard]] int run(const QCommandLineParser& parser,
                          const std::filesystem::path& sessions) const;

private:
    QCommandLineOption exportOption_;
    QCommandLineOption subjectOption_;
    QCommandLineOption taskOption_;
    QCommandLineOption lineOption_;
    QCommandLineOption fromOption_;
    QCommandLineOption toOption_;
};

} // namespace solvane::viewer
