#include "psd/OMPSDBlendingOptions.h"

bool OMPSDBlendingRangesList::isOpaqueForSource() const {
    return graySourceBlendingRange().isFull() && redSourceBlendingRange().isFull() &&
           greenSourceBlendingRange().isFull() && blueSourceBlendingRange().isFull();
}

bool OMPSDBlendingRangesList::isOpaqueForDestination() const {
    return grayDestinationBlendingRange().isFull() && redDestinationBlendingRange().isFull() &&
           greenDestinationBlendingRange().isFull() && blueDestinationBlendingRange().isFull();
}
