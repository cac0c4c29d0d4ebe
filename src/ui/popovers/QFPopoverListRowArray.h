#pragma once
// QFPopoverListRowArray: one slot per row of a popover list, holding the
// row's view or nothing (a row out of sight, or one its delegate gave no
// view for). Iteration runs in row order, empty slots included.
//
// The slots only point at the views: the list's content view owns them (a
// view deleted elsewhere reads as an empty slot).
//
// Threads: main thread only.

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <set>
#include <vector>

class QFPopoverListRowArray {
public:
    uint64_t count() const { return slots_.size(); }
    // Grows with empty slots, or cuts.
    void setCount(uint64_t count) { slots_.resize(count); }

    QWidget* objectAtIndex(uint64_t index) const { return slots_.at(index); }
    void insertObject(QWidget* view, uint64_t index);
    void removeObjectAtIndex(uint64_t index);
    void replaceObjectAtIndex(uint64_t index, QWidget* view) { slots_.at(index) = view; }
    // Every index of `indexes` gets `view` (null empties them).
    void replaceObjectsAtIndexes(const std::set<uint64_t>& indexes, QWidget* view);

    auto begin() const { return slots_.begin(); }
    auto end() const { return slots_.end(); }

private:
    std::vector<QPointer<QWidget>> slots_;
};
