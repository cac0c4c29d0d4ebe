#include "kit/gui/OMSheet.h"

void OMBeginSheetModalForWindow(QDialog& sheet, QWidget* window,
                                std::function<void(int returnCode)> completionHandler) {
    if (window && sheet.parentWidget() != window) sheet.setParent(window, sheet.windowFlags());
    sheet.setWindowModality(Qt::WindowModal);
    if (completionHandler) {
        QObject::connect(
            &sheet, &QDialog::finished, &sheet,
            [handler = std::move(completionHandler)](int result) { handler(result); },
            Qt::SingleShotConnection);
    }
    sheet.open();
}
