#include "ui/window/QFErrorAlert.h"

#include "ui/window/QFResources.h"

std::unique_ptr<QMessageBox> QFAlertWithError(const lf::Error& error, QWidget* parent) {
    auto alert = std::make_unique<QMessageBox>(
        QMessageBox::Warning, QString::fromStdString(QFResources::shared()->productName()),
        QString::fromStdString(error.localizedDescription()), QMessageBox::Ok, parent);
    alert->setInformativeText(QString::fromStdString(error.localizedFailureReason()));
    return alert;
}
