// solvane-view: shows the recorded sessions and follows a running one, or writes the report of
// one session without a window.
//
//   solvane-view [--folder <sessions folder>] [<session.edf>]
//   solvane-view --report <session.edf> -o <file.pdf|file.png> [--who <name>] [--note <text>]
//   solvane-view --setup                  the set-up of channels, groups and source alone
//   solvane-view --export-bids <folder> [--subject <label>] [--task <label>]
//                [--line-frequency <Hz>] [--from <date>] [--to <date>] [<session.edf>...]

#include "config/FileLocations.h"
#include "config/processINIFile.h"
#include "device/KardemoDLL.h"
#include "setup/SetupWindow.h"
#include "viewer/BidsExportCommand.h"
#include "viewer/BidsExportDialog.h"
#include "viewer/SessionReport.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {

int writeReportOf(const QString& session, const QString& output,
                  const solvane::viewer::ReportNotes& notes) {
    using namespace solvane::viewer;
    try {
        SessionReader reader(session.toStdString());
        reader.update();
        SessionAnalysis analysis;
        analysis.update(reader);
        QString error;
        if (!writeReport(output, reader, analysis, notes, error)) {
            std::fprintf(stderr, "solvane-view: %s\n", qPrintable(error));
            return 1;
        }
        return 0;
    } catch (const SessionError& e) {
        std::fprintf(stderr, "solvane-view: the session cannot be read: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "solvane-view: the session cannot be analysed: %s\n", e.what());
    }
    return 1;
}

bool wants(int argc, char** argv, const char* option) {
    const QByteArray given = QByteArray(option) + '=';
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], option) == 0 || QByteArray(argv[i]).startsWith(given))
            return true;
    return false;
}

/// A report needs no display: it is drawn on the offscreen platform unless told otherwise;
/// an export needs none either.
std::unique_ptr<QCoreApplication> applicationFor(int& argc, char** argv) {
    const bool report = wants(argc, argv, "--report");
    if (report && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (wants(argc, argv, "--export-bids"))
        return std::make_unique<QCoreApplication>(argc, argv);
    if (report)
        return std::make_unique<QGuiApplication>(argc, argv);
    return std::make_unique<QApplication>(argc, argv);
}

/// The options of the window and of the report; the export adds its own.
struct ViewOptions {
    QCommandLineOption report{QStringLiteral("report"),
                              QStringLiteral("Write the report of <session>."),
                              QStringLiteral("session")};
    QCommandLineOption output{QStringList{QStringLiteral("o"), QStringLiteral("output")},
                              QStringLiteral("The report's file (.pdf or .png)."),
                              QStringLiteral("file")};
    QCommandLineOption folder{QStringLiteral("folder"),
                              QStringLiteral("The sessions folder to show."),
                              QStringLiteral("folder")};
    QCommandLineOption setup{
        QStringLiteral("setup"),
        QStringLiteral("Set up the channels, their groups and the source of the EEG.")};
    // What the user adds to the report.
    QCommandLineOption who{QStringLiteral("who"),
                           QStringLiteral("Whose session it is, for the report."),
                           QStringLiteral("name")};
    QCommandLineOption note{QStringLiteral("note"), QStringLiteral("A note for the report."),
                            QStringLiteral("text")};
};

/// The set-up window, the sessions window or an export, as `parser` asks.
int runWithWindows(const QCommandLineParser& parser, const ViewOptions& options,
                   const solvane::viewer::BidsExportCommand& exportCommand) {
    const std::filesystem::path programFolder =
        QCoreApplication::applicationDirPath().toStdString();
    // The set-up works on the files of the program beside this one, found as it finds them.
    const auto places = solvane::FileLocations::forFolder(programFolder);
    solvane::processINIFile::SetFolders(places.configFolder(), places.stateFolder());
    std::unique_ptr<solvane::setup::SetupWindow> setup;
    auto showSetup = [&setup, &places] {
        if (!setup)
            setup = std::make_unique<solvane::setup::SetupWindow>(
                places, std::make_unique<solvane::KardemoDLL>(places.libraryFolders()));
        setup->show();
        setup->raise();
        setup->activateWindow();
    };
    if (parser.isSet(options.setup)) {
        QGuiApplication::setDesktopFileName(QStringLiteral("org.solvane.SolvaneSetup"));
        showSetup();
        return QCoreApplication::exec();
    }

    std::filesystem::path folder =
        parser.isSet(options.folder)
            ? std::filesystem::path(parser.value(options.folder).toStdString())
            : solvane::FileLocations::forFolder(programFolder).sessionsFolder();
    if (exportCommand.wanted(parser))
        return exportCommand.run(parser, folder);
    std::filesystem::path first;
    if (!parser.positionalArguments().isEmpty()) {
        first = parser.positionalArguments().constFirst().toStdString();
        if (!parser.isSet(options.folder))
            folder = std::filesystem::absolute(first).parent_path();
    }
    solvane::viewer::ViewerWindow window(folder, first);
    QObject::connect(&window, &solvane::viewer::ViewerWindow::setUpRequested, showSetup);
    solvane::viewer::BidsExportDialog::addToMenu(window, folder);
    window.show();
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<QCoreApplication> app = applicationFor(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("solvane-view"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SOLVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows Solvane's recorded sessions and follows a running one."));
    parser.addHelpOption();
    const ViewOptions options;
    parser.addOptions({options.report, options.output, options.folder, options.setup});
    const solvane::viewer::BidsExportCommand exportCommand;
    exportCommand.addTo(parser);
    parser.addOptions({options.who, options.note});
    parser.addPositionalArgument(QStringLiteral("session"),
                                 QStringLiteral("The session to open first."), "[session.edf]");
    parser.process(*app);

    if (parser.isSet(options.report)) {
        if (!parser.isSet(options.output)) {
            std::fprintf(stderr, "solvane-view: --report needs -o <file.pdf|file.png>\n");
            return 2;
        }
        return writeReportOf(parser.value(options.report), parser.value(options.output),
                             {parser.value(options.who), parser.value(options.note)});
    }
    return runWithWindows(parser, options, exportCommand);
}
