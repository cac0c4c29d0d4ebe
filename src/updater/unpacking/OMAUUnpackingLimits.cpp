#include "updater/unpacking/OMAUUnpackingLimits.h"

uint64_t OMAUUnpackedSize::diskUse() const {
    if (entries > (UINT64_MAX - length) / kOMAUEntryBlock) return UINT64_MAX;
    return length + entries * kOMAUEntryBlock;
}
