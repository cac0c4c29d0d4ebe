// draw-resources [FOLDER]: paints every image of the interface at 1x and
// 2x and writes them as "Name.png" and "Name@2x.png" into FOLDER (by
// default the source tree's resources/).

#include "Pictures.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(LF_SOURCE_RESOURCES_DIR);
    int failures = 0;
    for (const Picture& picture : allPictures()) {
        for (int scale : {1, 2}) {
            QImage canvas(picture.size * scale, QImage::Format_ARGB32);
            canvas.fill(Qt::transparent);
            {
                QPainter painter(&canvas);
                painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                                       QPainter::SmoothPixmapTransform);
                picture.paint(painter, scale);
            }
            const QString file = folder + "/" + picture.name + (scale == 2 ? "@2x" : "") + ".png";
            if (!canvas.save(file, "PNG", 0)) {
                std::fprintf(stderr, "draw-resources: cannot write %s\n", qPrintable(file));
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
