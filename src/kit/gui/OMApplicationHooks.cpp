#include "kit/gui/OMApplicationHooks.h"

#include "kit/gui/OMAppKitView.h"
#include "platform/dispatch/MainQueue.h"

#include <QCoreApplication>
#include <QInputEvent>
#include <QMetaObject>
#include <QPointer>

namespace {

class ApplicationEventFilter final : public QObject {
public:
    explicit ApplicationEventFilter(QObject* application) : QObject(application) {}

    std::optional<OMInputEventRecord> currentEvent;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Wheel:
                currentEvent = OMRecordOfInputEvent(*static_cast<const QInputEvent*>(event));
                break;
            case QEvent::ActivationChange:
                // Every widget of the window hears of the change; the walk
                // starts once, from the window.
                if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
                    OMRedisplayForChangedWindowAppearance(static_cast<QWidget*>(watched));
                break;
            default:
                break;
        }
        return false;
    }
};

// The filter of the current application; it goes with the application.
QPointer<ApplicationEventFilter>& installedFilter() {
    static QPointer<ApplicationEventFilter> filter;
    return filter;
}

void drainMainQueue() {
    lf::MainQueue::shared()->drain();
}

}  // namespace

OMInputEventRecord OMRecordOfInputEvent(const QInputEvent& event) {
    OMInputEventRecord record{event.type(), Qt::NoButton, event.modifiers()};
    switch (event.type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            record.button = static_cast<const QMouseEvent&>(event).button();
            break;
        default:
            break;
    }
    return record;
}

void OMInstallApplicationHooks() {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) return;
    auto& filter = installedFilter();
    if (filter && filter->parent() == application) return;
    // The thread of the Qt event loop is the main thread.
    lf::MainQueue::shared()->bindToCurrentThread();
    filter = new ApplicationEventFilter(application);  // owned by the application
    application->installEventFilter(filter);
    lf::MainQueue::shared()->setWakeUpHook([application = QPointer<QCoreApplication>(application)] {
        if (application)
            QMetaObject::invokeMethod(application, &drainMainQueue, Qt::QueuedConnection);
    });
}

// The class-load hook of this library: the Qt application calls it from its
// constructor, or here and now when it exists already.
Q_COREAPP_STARTUP_FUNCTION(OMInstallApplicationHooks)

std::optional<OMInputEventRecord> OMCurrentInputEvent() {
    const auto& filter = installedFilter();
    return filter ? filter->currentEvent : std::nullopt;
}

void OMRedisplayForChangedWindowAppearance(QWidget* window) {
    if (!window) return;
    auto* view = dynamic_cast<OMAppKitView*>(window);
    if (view && view->needsDisplayForChangedWindowAppearance()) {
        window->update();
        return;
    }
    for (QObject* child : window->children()) {
        if (child->isWidgetType())
            OMRedisplayForChangedWindowAppearance(static_cast<QWidget*>(child));
    }
}
