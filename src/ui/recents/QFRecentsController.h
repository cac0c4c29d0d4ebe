#pragma once
// QFRecentsController: the root of the recents popover: a 240-point list of
// the flow manager's recent flows, smart flows (those that notify when
// changed or repeat automatically) first, then the group row, then the
// plain ones, each part in the manager's order. With no recent flow the
// list shows one explanatory row.
//
// Rows: with the placeholder, exactly one. Otherwise rows 0 to S - 1 are
// the S smart flows, row S is the group row when both parts have flows,
// and the plain flows follow. Flow rows are 46 high, the placeholder 100,
// the group row its glyph's height. Separators part the rows of each part,
// none around the group row.
//
// The controller observes the manager's list and the behaviour of every
// listed flow, so a change of either reloads the list at once. A double
// click on a flow pushes the flow editor onto the popover.
//
// Threads: main thread only.

#include "platform/core/Observation.h"
#include "ui/popovers/QFPopoverListView.h"
#include "ui/popovers/QFPopoverListViewDelegate.h"
#include "ui/window/QFViewController.h"

#include <QPointer>

#include <memory>
#include <vector>

class QFFlow;

class QFRecentsController : public QFViewController, public QFPopoverListViewDelegate {
public:
    static constexpr int kListWidth = 240;
    static constexpr double kRowHeight = 46;
    static inline const char* const kPlaceholderRowIdentifier =
        "QFRecentsControllerPlaceholderRowView";
    static inline const char* const kGroupRowIdentifier = "QFRecentsControllerGroupRowView";
    static inline const char* const kRowIdentifier = "QFRecentsControllerRowView";

    QFRecentsController();
    ~QFRecentsController() override;

    void reloadRecentFlows();
    // Null for the placeholder and the group row.
    std::shared_ptr<QFFlow> flowAtRow(uint64_t row) const;

    // Brings the status lines of the rows shown up to date.
    void willShowPopover();
    // Pushes the editor of `flow`; nothing for null.
    void editFlow(const std::shared_ptr<QFFlow>& flow);

    const std::vector<std::shared_ptr<QFFlow>>& smartFlows() const { return smartFlows_; }
    const std::vector<std::shared_ptr<QFFlow>>& recentFlows() const { return recentFlows_; }
    bool hasRecentsGroupRow() const { return hasRecentsGroupRow_; }
    bool shouldShowPlaceholder() const { return shouldShowPlaceholder_; }
    QFPopoverListView* listView() const { return listView_; }

    uint64_t numberOfRowsInListView(QFPopoverListView& listView) override;
    QWidget* rowViewForRow(QFPopoverListView& listView, uint64_t row) override;
    double heightOfRow(QFPopoverListView& listView, uint64_t row) override;
    bool shouldDrawSeparatorBelowRow(QFPopoverListView& listView, uint64_t row) override;
    void didDoubleClickRowsAtIndexes(QFPopoverListView& listView,
                                     const std::set<uint64_t>& rows) override;

protected:
    QWidget* loadView() override;

private:
    // The group row's index: the count of smart flows.
    uint64_t groupRow() const { return smartFlows_.size(); }

    std::vector<std::shared_ptr<QFFlow>> allFlows_;
    std::vector<std::shared_ptr<QFFlow>> smartFlows_;
    std::vector<std::shared_ptr<QFFlow>> recentFlows_;
    bool hasRecentsGroupRow_ = false;
    bool shouldShowPlaceholder_ = false;
    QPointer<QFPopoverListView> listView_;
    lf::Observation recentFlowsObservation_;
    std::vector<lf::Observation> behaviorObservations_;
};
