#pragma once
// Smart objects: a layer's placed instance ("SoLd", or the older "PlLd")
// and the document's snapshots of smart objects with smart filters (the
// filter effects blocks "FXid" and "FEid": the unfiltered pixels and the
// smart filter mask, keyed by identifier).
//
// A snapshot belongs to the instance whose snapshotIdentifier equals its
// uniqueIdentifier. Immutable once decoded; safe to share.
#include "platform/files/Data.h"
#include "psd/OMPSDChannelReference.h"

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

class OMPSDSmartObjectInstance {
public:
    // From "SoLd" (version, descriptor) or "PlLd" (binary); null when damaged.
    static std::shared_ptr<const OMPSDSmartObjectInstance> fromPlacedLayerBlock(
        uint32_t key, std::span<const uint8_t> data);

    OMPSDSmartObjectInstance(std::string snapshotIdentifier, std::string linkedIdentifier)
        : snapshotIdentifier_(std::move(snapshotIdentifier)),
          linkedIdentifier_(std::move(linkedIdentifier)) {}

    // The instance's own identifier ("placed"; "Idnt" where there is none),
    // which names its snapshot.
    const std::string& snapshotIdentifier() const { return snapshotIdentifier_; }
    // The identifier of the embedded or linked file ("Idnt").
    const std::string& linkedIdentifier() const { return linkedIdentifier_; }

private:
    std::string snapshotIdentifier_, linkedIdentifier_;
};

class OMPSDSmartObjectSnapshot {
public:
    OMPSDSmartObjectSnapshot(std::string uniqueIdentifier,
                             std::vector<std::shared_ptr<const OMPSDChannelReference>> channels,
                             std::shared_ptr<const OMPSDChannelReference> smartFilterMask)
        : uniqueIdentifier_(std::move(uniqueIdentifier)),
          channelReferences_(std::move(channels)),
          smartFilterMask_(std::move(smartFilterMask)) {}

    const std::string& uniqueIdentifier() const { return uniqueIdentifier_; }
    // Colour planes 0, 1, 2..., then -1 for transparency when stored.
    const std::vector<std::shared_ptr<const OMPSDChannelReference>>& channelReferences() const {
        return channelReferences_;
    }
    // The smart filter mask, or null.
    const std::shared_ptr<const OMPSDChannelReference>& smartFilterMask() const {
        return smartFilterMask_;
    }

private:
    std::string uniqueIdentifier_;
    std::vector<std::shared_ptr<const OMPSDChannelReference>> channelReferences_;
    std::shared_ptr<const OMPSDChannelReference> smartFilterMask_;
};

// The snapshots of one filter effects block ("FXid" or "FEid"). Damage ends
// the list (snapshots before it are kept).
std::vector<std::shared_ptr<const OMPSDSmartObjectSnapshot>> OMPSDReadSmartObjectSnapshots(
    const lf::Data& block, int colorChannels, std::weak_ptr<const OMPSDDocument> document);
