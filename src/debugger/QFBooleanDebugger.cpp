#include "debugger/QFBooleanDebugger.h"

#include "debugger/QFExtraneousInput.h"
#include "geometry/VKGeometryStrings.h"
#include "kit/gui/OMSheet.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"

#include <QString>

#include <utility>

namespace {

// An operation outside the four has no name; the log line and the window
// title then show "(null)".
const char* nameOfOperation(VKBooleanOperation operation) {
    static const char* const names[] = {"Add", "Subtract", "Intersect", "Exclude"};
    return operation >= 0 && operation < 4 ? names[operation] : "(null)";
}

const char* direction(unsigned flags) {
    return flags & VKBooleanFlagAToB ? "A->B" : "B->A";
}

}  // namespace

QFBooleanDebugger::QFBooleanDebugger() = default;

QFBooleanDebugger::~QFBooleanDebugger() {
    // The last owner may be the operation's thread, or an action of the
    // window itself: the window goes later, from the main queue.
    if (window_) lf::MainQueue::shared()->async([window = window_] { delete window.data(); });
}

QWidget* QFBooleanDebugger::window() {
    return &loadedWindow();
}

QFBooleanDebuggerWindow& QFBooleanDebugger::loadedWindow() {
    lf::assertMainThread("QFBooleanDebugger::window");
    if (!window_) {
        window_ = new QFBooleanDebuggerWindow;
        connectActions(*window_);
        setStepButtonsEnabled(false);
    }
    return *window_;
}

void QFBooleanDebugger::connectActions(QFBooleanDebuggerWindow& window) {
    // The window may outlive its debugger for a moment (it goes from the
    // main queue), so its actions hold the debugger weakly.
    const auto action = [weak = weak_from_this()](void (QFBooleanDebugger::*method)()) {
        return [weak, method] {
            if (auto self = weak.lock()) (self.get()->*method)();
        };
    };
    const std::pair<QPushButton*, void (QFBooleanDebugger::*)()> buttonActions[] = {
        {window.nextStepButton, &QFBooleanDebugger::nextStep},
        {window.nextOperationButton, &QFBooleanDebugger::nextOperation},
        {window.debugButton, &QFBooleanDebugger::debug},
        {window.addPointsButton, &QFBooleanDebugger::showAddPoints},
        {window.addPointsConfirmButton, &QFBooleanDebugger::addPoints},
        {window.addPointsCancelButton, &QFBooleanDebugger::cancelAddPoints},
        {window.addSegmentsButton, &QFBooleanDebugger::showAddSegments},
        {window.addSegmentsConfirmButton, &QFBooleanDebugger::addSegments},
        {window.addSegmentsCancelButton, &QFBooleanDebugger::cancelAddSegments},
    };
    for (const auto& [button, method] : buttonActions)
        QObject::connect(button, &QPushButton::clicked, &window, action(method));
    window.windowWillClose = action(&QFBooleanDebugger::windowWillClose);
    window.keyDown = [weak = weak_from_this()](const QKeyEvent& event) {
        if (auto self = weak.lock()) self->keyDown(event);
    };
}

std::shared_ptr<QFVisualBooleanPath> QFBooleanDebugger::currentVisualBooleanPath() const {
    std::lock_guard guard(recordLock_);
    return currentRecord_;
}

void QFBooleanDebugger::willPerformOperation(
    VKBooleanOperation operation, std::shared_ptr<const VKBooleanCompoundPath> booleanPathA,
    std::shared_ptr<const VKBooleanCompoundPath> booleanPathB, VKRect bounds) {
    if (!debugging_) return;
    const char* name = nameOfOperation(operation);
    lf::log("willPerformOperation:{}", name);
    nextOperation_ = false;
    lf::MainQueue::shared()->sync([&] {
        // The window may have closed while this waited for the main thread.
        if (!debugging_) return;
        QWidget& window = loadedWindow();
        window.show();
        window.raise();
        window.activateWindow();
        auto record =
            std::make_shared<QFVisualBooleanPath>(operation, booleanPathA, booleanPathB, bounds);
        {
            std::lock_guard guard(recordLock_);
            currentRecord_ = record;
        }
        canvas()->addVisualBooleanPath(std::move(record));
        setStepButtonsEnabled(true);
        window.setWindowTitle(QString("Current Operation: %1").arg(name));
    });
    waitBreakOrContinue();
}

void QFBooleanDebugger::didPerformOperationWithResult(
    std::shared_ptr<const VKBooleanCompoundPath> result) {
    if (!debugging_) return;
    lf::log("didPerformOperationWithResult");
    if (auto record = currentVisualBooleanPath()) record->setResult(std::move(result));
    waitBreakOrContinue();
    lf::MainQueue::shared()->sync([&] {
        if (debugging_) setStepButtonsEnabled(false);
    });
}

void QFBooleanDebugger::didAddVerbatimPath(std::shared_ptr<const VKPath> path, unsigned flags) {
    if (!debugging_) return;
    lf::log("didAddVerbatimPath");
    if (auto record = currentVisualBooleanPath()) record->addPath(std::move(path));
    waitBreakOrContinue();
}

void QFBooleanDebugger::didFindIntersectionPoint(VKPoint point, unsigned flags,
                                                 const VKBooleanDebuggerUserInfo& userInfo) {
    if (!debugging_) return;
    lf::log("didFindIntersectionPoint: {} ( {} ) flags:{}", NSStringFromVKPoint(point),
            direction(flags), flags);
    if (auto record = currentVisualBooleanPath())
        record->addIntersectionPoint(point, flags, userInfo);
    waitBreakOrContinue();
}

void QFBooleanDebugger::willBeginTracingPath() {
    if (!debugging_) return;
    lf::log("willBeginTracingPath");
    if (auto record = currentVisualBooleanPath()) record->beginTracing();
    waitBreakOrContinue();
}

void QFBooleanDebugger::willTraceFromIntersectionPoint(VKPoint point, unsigned flags) {
    if (!debugging_) return;
    const bool reversed = flags & (VKBooleanFlagReversedA | VKBooleanFlagReversedB);
    lf::log("willTraceFromIntersection: {} ( {}{} ) flags: {}", NSStringFromVKPoint(point),
            direction(flags), reversed ? "[R]" : "", flags);
    if (auto record = currentVisualBooleanPath())
        record->willTraceFromIntersectionPoint(point, flags);
    waitBreakOrContinue();
}

void QFBooleanDebugger::didTracePathSegment(const VKPathSegment& segment) {
    if (!debugging_) return;
    lf::log("didTracePathSegment: {}", NSStringFromVKPathSegment(segment));
    if (auto record = currentVisualBooleanPath()) record->addPathSegment(segment);
    waitBreakOrContinue();
}

void QFBooleanDebugger::didAddTracedPath(std::shared_ptr<const VKPath> path) {
    if (!debugging_) return;
    lf::log("didAddTracedPath");
    if (auto record = currentVisualBooleanPath()) record->addPath(std::move(path));
    waitBreakOrContinue();
}

void QFBooleanDebugger::waitBreakOrContinue() {
    if (lf::isMainThread()) return;
    std::unique_lock lock(stepLock_);
    stepped_.wait(lock, [&] { return steps_ > 0 || nextOperation_ || !debugging_; });
    if (!nextOperation_ && debugging_) --steps_;
}

void QFBooleanDebugger::signalStepper() {
    {
        std::lock_guard guard(stepLock_);
        ++steps_;
    }
    stepped_.notify_one();
}

void QFBooleanDebugger::releaseStops(std::atomic<bool>& flag, bool value) {
    {
        std::lock_guard guard(stepLock_);
        flag = value;
    }
    stepped_.notify_all();
}

void QFBooleanDebugger::nextStep() {
    signalStepper();
}

void QFBooleanDebugger::nextOperation() {
    releaseStops(nextOperation_, true);
    nextStepButton()->setEnabled(false);
    nextOperationButton()->setEnabled(false);
}

void QFBooleanDebugger::debug() {
    signalStepper();
}

void QFBooleanDebugger::keyDown(const QKeyEvent& event) {
    if (event.key() != Qt::Key_Return) return;
    // Command is Qt's ControlModifier.
    if (event.modifiers() & Qt::ShiftModifier)
        debug();
    else if (event.modifiers() & Qt::ControlModifier)
        nextOperation();
    nextStep();
}

void QFBooleanDebugger::showAddPoints() {
    showSheet(*addPointsWindow(), *pointsTextView());
}

void QFBooleanDebugger::cancelAddPoints() {
    addPointsWindow()->reject();
}

void QFBooleanDebugger::addPoints() {
    addPointsWindow()->accept();
    const auto record = currentVisualBooleanPath();
    if (!record) return;
    for (VKPoint point : QFExtraneousPointsFromText(pointsTextView()->toPlainText().toStdString()))
        record->addExtraneousPoint(point);
}

void QFBooleanDebugger::showAddSegments() {
    showSheet(*addSegmentsWindow(), *segmentsTextView());
}

void QFBooleanDebugger::cancelAddSegments() {
    addSegmentsWindow()->reject();
}

void QFBooleanDebugger::addSegments() {
    addSegmentsWindow()->accept();
    const auto record = currentVisualBooleanPath();
    if (!record) return;
    const bool arrowFormat = segmentFormatMatrix()->checkedId() == 0;
    record->beginAddingExtraneousPathSegments();
    for (const VKPathSegment& segment : QFExtraneousPathSegmentsFromText(
             segmentsTextView()->toPlainText().toStdString(), arrowFormat))
        record->addExtraneousPathSegment(segment);
    record->endAddingExtraneousPathSegments();
}

void QFBooleanDebugger::windowWillClose() {
    releaseStops(debugging_, false);
}

void QFBooleanDebugger::showSheet(QDialog& sheet, QPlainTextEdit& textView) {
    textView.clear();
    OMBeginSheetModalForWindow(sheet, window(), nullptr);
    textView.setFocus();
}

void QFBooleanDebugger::setStepButtonsEnabled(bool enabled) {
    QFBooleanDebuggerWindow& window = loadedWindow();
    window.nextStepButton->setEnabled(enabled);
    window.nextOperationButton->setEnabled(enabled);
    window.debugButton->setEnabled(enabled);
}
