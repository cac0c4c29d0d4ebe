#pragma once
// QFRecentsPopover: the one recents popover of the application, a
// navigation popover whose root is the recents list (QFRecentsController.h).
// It is semi-transient (a press elsewhere in the window it is shown from
// closes it), and closing it pops the flow editor, so the next showing
// starts at the list. Opening it refreshes the rows' relative times.
//
// Threads: main thread only.

#include "ui/popovers/QFNavigationPopover.h"

#include <memory>

class QFFlow;
class QFRecentsController;

class QFRecentsPopover : public QFNavigationPopover {
    Q_OBJECT

public:
    // Made on first use; lives as long as the process.
    static QFRecentsPopover& sharedPopover();

    explicit QFRecentsPopover(std::shared_ptr<QFRecentsController> controller,
                              QWidget* parent = nullptr);

    const std::shared_ptr<QFRecentsController>& recentsController() const {
        return recentsController_;
    }

    void showRelativeToRect(const QRectF& rect, QWidget* view, Qt::Edge preferredEdge) override;
    // Pushes the editor of `flow`.
    void editFlow(const std::shared_ptr<QFFlow>& flow);

private:
    std::shared_ptr<QFRecentsController> recentsController_;
};
