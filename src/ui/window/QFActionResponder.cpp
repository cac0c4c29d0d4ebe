#include "ui/window/QFActionResponder.h"

namespace {

constexpr const char* kActionProperty = "qfAction";

}  // namespace

std::string QFActionOfMenuItem(const QAction& item) {
    return item.property(kActionProperty).toByteArray().toStdString();
}

void QFSetActionOfMenuItem(QAction& item, std::string_view action) {
    item.setProperty(kActionProperty,
                     QByteArray(action.data(), static_cast<qsizetype>(action.size())));
}

QFActionResponder* QFTargetForAction(const QFResponderChain& chain, std::string_view action) {
    for (QFActionResponder* responder : chain) {
        if (responder && responder->respondsToAction(action)) return responder;
    }
    return nullptr;
}

bool QFSendAction(const QFResponderChain& chain, std::string_view action) {
    QFActionResponder* target = QFTargetForAction(chain, action);
    if (!target) return false;
    target->performAction(action);
    return true;
}

void QFValidateMenuItem(const QFResponderChain& chain, QAction& item) {
    const std::string action = QFActionOfMenuItem(item);
    if (action.empty()) return;
    QFActionResponder* target = QFTargetForAction(chain, action);
    item.setEnabled(target && target->validateMenuItem(item));
}
