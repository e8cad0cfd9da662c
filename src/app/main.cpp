// Solvane: EEG neurofeedback with audio-visual entrainment.

#include "app/frmMain.h"
#include "config/processINIFile.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Solvane"));

    const std::filesystem::path folder = QCoreApplication::applicationDirPath().toStdString();
    solvane::processINIFile::SetProgramFolder(folder);

    solvane::frmMain window(std::make_unique<solvane::KardemoDLL>(folder));
    if (!window.Form_Load())
        return 1;
    window.show();
    return QApplication::exec();
}
