#include "ui/shell/QFPhotoshopBridge.h"

#include "platform/dispatch/MainQueue.h"

namespace {

std::shared_ptr<QFPhotoshopBridge>& sharedBridge() {
    static auto bridge = std::make_shared<QFPhotoshopBridge>();
    return bridge;
}

}  // namespace

std::shared_ptr<QFPhotoshopBridge> QFPhotoshopBridge::shared() {
    lf::assertMainThread("QFPhotoshopBridge::shared");
    return sharedBridge();
}

void QFPhotoshopBridge::setShared(std::shared_ptr<QFPhotoshopBridge> bridge) {
    lf::assertMainThread("QFPhotoshopBridge::setShared");
    sharedBridge() = bridge ? std::move(bridge) : std::make_shared<QFPhotoshopBridge>();
}
