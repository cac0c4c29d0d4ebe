#include "ui/recents/QFRecentsController.h"

#include "flows/QFFlow.h"
#include "flows/QFFlowManager.h"
#include "ui/popovers/QFNavigationPopover.h"
#include "ui/popovers/QFPopoverListView.h"
#include "ui/recents/QFRecentFlowEditor.h"
#include "ui/recents/QFRecentGroupRowView.h"
#include "ui/recents/QFRecentPlaceholderRowView.h"
#include "ui/recents/QFRecentRowView.h"
#include "ui/window/QFResources.h"

namespace {

bool isSmart(const QFFlow& flow) {
    return flow.behavior() == QFFlowBehaviorNotifyWhenChanged ||
           flow.behavior() == QFFlowBehaviorRepeatAutomatically;
}

// A view of `identifier` from the list's reuse set, or a new one.
template <class View>
View* reusedView(QFPopoverListView& list, const char* identifier) {
    if (auto* view = qobject_cast<View*>(list.makeViewWithIdentifier(identifier))) return view;
    auto* view = new View;  // taken over by the list
    view->setObjectName(identifier);
    return view;
}

}  // namespace

QFRecentsController::QFRecentsController() {
    setTitle(QFLocalizedString("recents-repeat.window.title"));
}

QFRecentsController::~QFRecentsController() {
    recentFlowsObservation_.reset();
    behaviorObservations_.clear();
    if (listView_) listView_->setDelegate(nullptr);
}

QWidget* QFRecentsController::loadView() {
    auto* list = new QFPopoverListView;
    listView_ = list;
    list->setDelegate(this);
    list->setFixedWidth(kListWidth);
    recentFlowsObservation_ = QFFlowManager::defaultManager()->addObserver(
        "recentFlows", [this](const std::string&) { reloadRecentFlows(); }, true);
    setNavigationPopoverShouldUseContentViewFittingSize(true);
    return list;
}

void QFRecentsController::reloadRecentFlows() {
    behaviorObservations_.clear();
    allFlows_ = QFFlowManager::defaultManager()->recentFlows();
    smartFlows_.clear();
    recentFlows_.clear();
    for (const auto& flow : allFlows_)
        (isSmart(*flow) ? smartFlows_ : recentFlows_).push_back(flow);
    hasRecentsGroupRow_ = !smartFlows_.empty() && !recentFlows_.empty();
    shouldShowPlaceholder_ = smartFlows_.empty() && recentFlows_.empty();
    if (listView_) listView_->reload();
    for (const auto& flow : allFlows_) {
        behaviorObservations_.push_back(
            flow->addObserver("behavior", [this](const std::string&) { reloadRecentFlows(); }));
    }
}

std::shared_ptr<QFFlow> QFRecentsController::flowAtRow(uint64_t row) const {
    if (shouldShowPlaceholder_) return nullptr;
    if (row < smartFlows_.size()) return smartFlows_[row];
    row -= smartFlows_.size();
    if (hasRecentsGroupRow_) {
        if (row == 0) return nullptr;
        --row;
    }
    return row < recentFlows_.size() ? recentFlows_[row] : nullptr;
}

uint64_t QFRecentsController::numberOfRowsInListView(QFPopoverListView&) {
    if (shouldShowPlaceholder_) return 1;
    return smartFlows_.size() + (hasRecentsGroupRow_ ? 1 : 0) + recentFlows_.size();
}

QWidget* QFRecentsController::rowViewForRow(QFPopoverListView& list, uint64_t row) {
    if (shouldShowPlaceholder_)
        return reusedView<QFRecentPlaceholderRowView>(list, kPlaceholderRowIdentifier);
    if (hasRecentsGroupRow_ && row == groupRow())
        return reusedView<QFRecentGroupRowView>(list, kGroupRowIdentifier);
    auto* view = reusedView<QFRecentRowView>(list, kRowIdentifier);
    view->setRepresentedFlow(flowAtRow(row));
    return view;
}

double QFRecentsController::heightOfRow(QFPopoverListView&, uint64_t row) {
    if (shouldShowPlaceholder_) return QFRecentPlaceholderRowView::preferredHeight();
    if (row == 0 || row != groupRow()) return kRowHeight;
    return QFRecentGroupRowView::preferredHeight();
}

bool QFRecentsController::shouldDrawSeparatorBelowRow(QFPopoverListView&, uint64_t row) {
    if (shouldShowPlaceholder_) return false;
    if (hasRecentsGroupRow_) return row + 1 != groupRow() && row != groupRow();
    return true;
}

void QFRecentsController::didDoubleClickRowsAtIndexes(QFPopoverListView&,
                                                      const std::set<uint64_t>& rows) {
    if (rows.size() == 1) editFlow(flowAtRow(*rows.begin()));
}

void QFRecentsController::willShowPopover() {
    if (!listView_) return;
    for (uint64_t row = 0; row < listView_->numberOfRows(); ++row) {
        QWidget* view = listView_->rowViewAtRow(row, false);
        if (view && view->metaObject() == &QFRecentRowView::staticMetaObject)
            static_cast<QFRecentRowView*>(view)->reflectCurrentRelativeTime();
    }
}

void QFRecentsController::editFlow(const std::shared_ptr<QFFlow>& flow) {
    if (!flow) return;
    if (QFNavigationPopover* popover = navigationPopover())
        popover->pushViewController(std::make_shared<QFRecentFlowEditor>(flow), true);
}
