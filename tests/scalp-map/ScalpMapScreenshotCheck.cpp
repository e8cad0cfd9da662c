// Checks a screenshot of the real main window's client area for the scalp map:
//   scalp_map_screenshot_check <png> designed
//       every circle in its designed colour with white lettering, the ears black, the
//       background in the palette's base colour
//   scalp_map_screenshot_check <png> running <position>...
//       the given positions green with black lettering, every other position greyed (the head
//       shows through, lettering RGB(10, 10, 10)), the ears unchanged
// Exit status 0 when the image shows that, 1 otherwise (with what differs on stderr).

#include "MapPixels.h"
#include "app/ScalpMapWidget.h"

#include <QGuiApplication>

#include <cstdio>
#include <set>

using namespace solvane;
using namespace solvane::testing;

namespace {

QString check(const QImage& image, bool running, const std::set<int>& good) {
    if (image.size() != ScalpMapWidget::pixels(scalpmap::ClientArea).size())
        return QStringLiteral("the image is %1 x %2, not the client area")
            .arg(image.width())
            .arg(image.height());
    // Behind the map: the colour behind a window's contents, not the buttons' face.
    const QColor base = QGuiApplication::palette().color(QPalette::Base);
    if (image.pixelColor(2, 2) != base ||
        base == QGuiApplication::palette().color(QPalette::Window))
        return QStringLiteral("the background is %1, not %2")
            .arg(image.pixelColor(2, 2).name(), base.name());
    for (int i = 0; i < scalpmap::PositionCount; ++i) {
        QString problem;
        if (!running)
            problem = checkPosition(
                image, i,
                ScalpMapWidget::colour(scalpmap::Positions.at(static_cast<std::size_t>(i)).fill),
                QColor(255, 255, 255));
        else if (good.count(i + 1) != 0)
            problem = checkPosition(image, i, QColor(0, 255, 0), QColor(0, 0, 0));
        else
            problem = checkPosition(image, i, HeadColour, GreyedText);
        if (!problem.isEmpty())
            return problem;
    }
    return checkEars(image);
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 3 ||
        (arguments[2] != QLatin1String("designed") && arguments[2] != QLatin1String("running"))) {
        std::fprintf(stderr, "usage: %s <png> designed | running <position>...\n", argv[0]);
        return 2;
    }
    const QImage image = QImage(arguments[1]).convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(arguments[1]));
        return 1;
    }
    std::set<int> good;
    for (qsizetype i = 3; i < arguments.size(); ++i)
        good.insert(arguments[i].toInt());
    const QString problem = check(image, arguments[2] == QLatin1String("running"), good);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(arguments[1]), qPrintable(problem));
        return 1;
    }
    return 0;
}
