// Solvane: EEG neurofeedback with audio-visual entrainment.

#include "app/TerminationSignals.h"
#include "app/frmMain.h"
#include "config/FileLocations.h"
#include "config/SettingsLock.h"
#include "config/processINIFile.h"

#include <QApplication>

#include <memory>

// The program's version for the device library, which records it beside each session: the
// one symbol this executable exports (a device library of another maker simply finds none).
extern "C" {
extern const char solvane_program_version[];
const char solvane_program_version[] = SOLVANE_VERSION;
}

int main(int argc, char* argv[]) {
    int status = 0;
    {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Solvane"));
        // The desktop entry's name, by which a desktop links the window to its menu entry.
        QGuiApplication::setDesktopFileName(QStringLiteral("org.solvane.Solvane"));
        solvane::TerminationSignals terminationSignals;

        const std::filesystem::path folder = QCoreApplication::applicationDirPath().toStdString();
        const auto places = solvane::FileLocations::forFolder(folder);
        // A settings folder that cannot be made is reported when the settings are saved.
        std::error_code configError;
        std::error_code ignored;
        places.makeFolder(places.configFolder(), configError);
        places.makeFolder(places.stateFolder(), ignored);
        solvane::processINIFile::SetFolders(places.configFolder(), places.stateFolder());
        solvane::processINIFile::SetSettingsFolderError(configError);
        // Held until the window and its last save are gone: a set-up of the same settings file
        // sees from it that the program would write over its changes.
        const auto settingsLock =
            solvane::SettingsLock::whileOpen(solvane::processINIFile::SettingsFilePath());

        solvane::frmMain window(std::make_unique<solvane::KardemoDLL>(places.libraryFolders()));
        QObject::connect(&terminationSignals, &solvane::TerminationSignals::received, &window,
                         &solvane::frmMain::onTerminationSignal);
        // A signal taken while the load showed a message has already closed the window; the
        // process then ends by that signal.
        if (!window.Form_Load()) {
            status = 1;
        } else if (solvane::TerminationSignals::first() == 0) {
            window.show();
            status = QApplication::exec();
        }
    }
    solvane::TerminationSignals::endProcessLikeIt();
    return status;
}
