#pragma once
// QFBooleanDebugger: a developer window that watches an exact boolean
// operation step by step. As the operation's debugger (VKBooleanDebugger.h)
// it logs every stage, records it in a QFVisualBooleanPath shown in its
// canvas, and then holds the operation's thread until the developer asks
// for the next step: "Next Step" (or Return) lets one stop pass, "Next
// Operation" (or Command-Return) lets the rest of this operation run and
// stops again at the next one. Closing the window lets a waiting operation
// run on, and every later call does nothing.
//
// Ownership and threads: held by std::shared_ptr. Hand it to the operation
// through the shared overload of compoundPathByPerformingOperation, which
// keeps it alive while it calls it, and run the operation off the main
// thread: the stages are recorded on the operation's thread and the window
// is changed on the main thread, which the operation waits for. An operation
// on the main thread is recorded without stopping (no one could press
// "Next Step" while it waited). Everything else is main-thread only; the
// window is built when first asked for.

#include "debugger/QFBooleanCanvas.h"
#include "debugger/QFBooleanDebuggerWindow.h"
#include "debugger/QFVisualBooleanPath.h"
#include "geometry/VKBooleanDebugger.h"

#include <QButtonGroup>
#include <QDialog>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

class QFBooleanDebugger final : public VKBooleanDebugger,
                                public std::enable_shared_from_this<QFBooleanDebugger> {
public:
    QFBooleanDebugger();
    // Lets the window go (from the main queue).
    ~QFBooleanDebugger() override;
    QFBooleanDebugger(const QFBooleanDebugger&) = delete;
    QFBooleanDebugger& operator=(const QFBooleanDebugger&) = delete;

    QWidget* window();
    QFBooleanCanvas* canvas() { return loadedWindow().canvas; }
    QPushButton* nextStepButton() { return loadedWindow().nextStepButton; }
    QPushButton* nextOperationButton() { return loadedWindow().nextOperationButton; }
    QPushButton* debugButton() { return loadedWindow().debugButton; }
    QDialog* addPointsWindow() { return loadedWindow().addPointsWindow; }
    QPlainTextEdit* pointsTextView() { return loadedWindow().pointsTextView; }
    QDialog* addSegmentsWindow() { return loadedWindow().addSegmentsWindow; }
    QPlainTextEdit* segmentsTextView() { return loadedWindow().segmentsTextView; }
    QButtonGroup* segmentFormatMatrix() { return loadedWindow().segmentFormatMatrix; }

    // The record of the operation in progress (or the last one); any thread.
    std::shared_ptr<QFVisualBooleanPath> currentVisualBooleanPath() const;
    // Until the window closes.
    bool isDebugging() const { return debugging_; }

    // VKBooleanDebugger, on the operation's thread.
    void willPerformOperation(VKBooleanOperation operation,
                              std::shared_ptr<const VKBooleanCompoundPath> booleanPathA,
                              std::shared_ptr<const VKBooleanCompoundPath> booleanPathB,
                              VKRect bounds) override;
    void didPerformOperationWithResult(
        std::shared_ptr<const VKBooleanCompoundPath> result) override;
    void didAddVerbatimPath(std::shared_ptr<const VKPath> path, unsigned flags) override;
    void didFindIntersectionPoint(VKPoint point, unsigned flags,
                                  const VKBooleanDebuggerUserInfo& userInfo) override;
    void willBeginTracingPath() override;
    void willTraceFromIntersectionPoint(VKPoint point, unsigned flags) override;
    void didTracePathSegment(const VKPathSegment& segment) override;
    void didAddTracedPath(std::shared_ptr<const VKPath> path) override;

    // Actions, on the main thread.
    // Lets one stop pass; given while none waits, the next stop passes at once.
    void nextStep();
    // Lets the rest of the current operation run without stopping.
    void nextOperation();
    void debug();
    // Return: Shift-Return also debugs, Command-Return also runs on to the
    // next operation; each then steps.
    void keyDown(const QKeyEvent& event);
    void showAddPoints();
    void cancelAddPoints();
    void addPoints();
    void showAddSegments();
    void cancelAddSegments();
    void addSegments();
    void windowWillClose();

private:
    QFBooleanDebuggerWindow& loadedWindow();
    void connectActions(QFBooleanDebuggerWindow& window);
    // Holds the operation's thread until the next step, unless the
    // operation runs on to its end or the window has closed.
    void waitBreakOrContinue();
    // Counts one step and lets a waiting stop take it.
    void signalStepper();
    // Sets a flag that releases every waiting stop.
    void releaseStops(std::atomic<bool>& flag, bool value);
    // Shows a sheet of the window with its text view emptied.
    void showSheet(QDialog& sheet, QPlainTextEdit& textView);
    void setStepButtonsEnabled(bool enabled);

    // The flags are set on the main thread and read on the operation's; a
    // stop waits for a counted step or a flag that lets it pass. Running on
    // to the next operation and closing the window release a waiting stop
    // without counting a step, so no step is left over for a later stop.
    std::atomic<bool> debugging_{true};
    std::atomic<bool> nextOperation_{false};
    std::mutex stepLock_;
    std::condition_variable stepped_;
    int steps_ = 0;  // guarded by stepLock_

    mutable std::mutex recordLock_;
    std::shared_ptr<QFVisualBooleanPath> currentRecord_;

    // Main thread only.
    QPointer<QFBooleanDebuggerWindow> window_;
};
