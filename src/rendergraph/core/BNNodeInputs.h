#pragma once
// Checks shared by the create functions of node classes.

#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderNode.h"

#include <initializer_list>

// Whether every input is present; logs "<class>: missing input node" when
// one is not. Nodes whose inputs are required refuse to be made without.
inline bool BNHasInputs(const char* className, std::initializer_list<const BNRenderNode*> inputs) {
    for (const BNRenderNode* input : inputs) {
        if (!input) {
            lf::log("{}: missing input node", className);
            return false;
        }
    }
    return true;
}

// The channel that carries the coverage of a one-channel layout: fill for
// F alone, otherwise opacity.
inline BNChannel BNCoverageChannelOfMask(BNChannelMask mask) {
    return (mask & 0x1F) == BNChannelMaskFill ? BNChannelFill : BNChannelOpacity;
}

// A mask without its opacity and fill channels.
inline BNChannelMask BNColorChannelsOfMask(BNChannelMask mask) {
    return mask & ~(BNChannelMaskOpacity | BNChannelMaskFill);
}

// The opacity and fill channels of a mask.
inline BNChannelMask BNCoverageChannelsOfMask(BNChannelMask mask) {
    return mask & (BNChannelMaskOpacity | BNChannelMaskFill);
}
