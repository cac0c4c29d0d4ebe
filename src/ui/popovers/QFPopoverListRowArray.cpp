#include "ui/popovers/QFPopoverListRowArray.h"

#include <stdexcept>

void QFPopoverListRowArray::insertObject(QWidget* view, uint64_t index) {
    if (index > slots_.size()) throw std::out_of_range("QFPopoverListRowArray::insertObject");
    slots_.insert(slots_.begin() + static_cast<std::ptrdiff_t>(index), view);
}

void QFPopoverListRowArray::removeObjectAtIndex(uint64_t index) {
    if (index >= slots_.size())
        throw std::out_of_range("QFPopoverListRowArray::removeObjectAtIndex");
    slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(index));
}

void QFPopoverListRowArray::replaceObjectsAtIndexes(const std::set<uint64_t>& indexes,
                                                    QWidget* view) {
    for (uint64_t index : indexes)
        slots_.at(index) = view;
}
