#include "ScreenTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QWindow>

namespace lf::test {

bool showAndWaitForExposure(QWidget& window) {
    window.show();
    QElapsedTimer timer;
    timer.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed())) {
        if (timer.elapsed() > 10'000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    // Let the paint reach the server and settle.
    for (int pass = 0; pass < 20; ++pass) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    QApplication::sync();
    return true;
}

bool screenshotToolsInstalled() {
    return !QStandardPaths::findExecutable("xwd").isEmpty() &&
           !QStandardPaths::findExecutable("xwdtopnm").isEmpty();
}

QImage takeScreenshot() {
    QProcess capture;
    const QString command = QString("xwd -root -silent -display %1 | xwdtopnm 2>/dev/null")
                                .arg(QString::fromStdString(screenDisplay()));
    capture.start("sh", {"-c", command});
    if (!capture.waitForFinished(30'000) || capture.exitCode() != 0) return {};
    return QImage::fromData(capture.readAllStandardOutput(), "PPM");
}

}  // namespace lf::test
