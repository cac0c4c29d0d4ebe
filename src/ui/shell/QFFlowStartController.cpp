#include "ui/shell/QFFlowStartController.h"

#include "ui/shell/QFApplication.h"
#include "ui/widgets/QFPlaceholderView.h"
#include "ui/window/QFResources.h"

QWidget* QFFlowStartController::loadView() {
    const auto resources = QFResources::shared();
    auto* placeholder = new QFPlaceholderView;
    placeholder->setImage(resources->imageNamed(QFImageName::DropHere));
    placeholder->setTitle(
        QString::fromStdString(resources->localizedString("drop-placeholder.title")));
    placeholder->setPrimaryButtonTitle(QString::fromStdString(
        resources->localizedString("export-flow.error.no-tagged-layers.view-examples")));
    placeholder->setPrimaryButtonCallback([] { QFApplication::shared().showExampleFiles(); });
    return placeholder;
}

QFPlaceholderView* QFFlowStartController::placeholderView() {
    return static_cast<QFPlaceholderView*>(view());
}
