#pragma once
// QFPopoverListViewDelegate: where a popover list (QFPopoverListView.h)
// takes its rows from: their count, a view and a height for each, whether
// a separator goes below each, and what a double click on rows or the
// list's arrival in a window means. The last two are optional: their
// default does nothing.
//
// Threads: main thread only.

#include <QWidget>

#include <cstdint>
#include <set>

class QFPopoverListView;

class QFPopoverListViewDelegate {
public:
    virtual ~QFPopoverListViewDelegate() = default;

    virtual uint64_t numberOfRowsInListView(QFPopoverListView& listView) = 0;
    // A view for `row`, made or taken from the list's reuse sets
    // (makeViewWithIdentifier); the list takes it over. Null leaves the
    // row empty until the list asks again.
    virtual QWidget* rowViewForRow(QFPopoverListView& listView, uint64_t row) = 0;
    virtual double heightOfRow(QFPopoverListView& listView, uint64_t row) = 0;
    virtual bool shouldDrawSeparatorBelowRow(QFPopoverListView& listView, uint64_t row) = 0;

    // `rows` holds the row under a double click, or nothing.
    virtual void didDoubleClickRowsAtIndexes(QFPopoverListView& listView,
                                             const std::set<uint64_t>& rows) {}
    virtual void listViewDidMoveToWindow(QFPopoverListView& listView) {}
};
