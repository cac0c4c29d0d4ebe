#pragma once
// OMPSDPattern: a pattern tile of the document's pattern blocks ("Patt",
// "Pat2", "Pat3"), named by its identifier. Its planes are channel
// references like any other: colour planes 0, 1, 2... of the pattern's
// image mode, then -1 for its transparency when stored; an indexed tile's
// one plane holds indices into its colour table. Immutable; safe to share.
#include "platform/files/Data.h"
#include "psd/OMPSDChannelReference.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

class OMPSDPattern {
public:
    OMPSDPattern(std::string identifier, std::string name, uint32_t imageMode,
                 std::vector<std::shared_ptr<const OMPSDChannelReference>> channels,
                 std::vector<uint8_t> colorTable = {})
        : identifier_(std::move(identifier)),
          name_(std::move(name)),
          imageMode_(imageMode),
          channelReferences_(std::move(channels)),
          colorTable_(std::move(colorTable)) {}

    const std::string& identifier() const { return identifier_; }
    const std::string& name() const { return name_; }
    // The header's colour mode numbering (3 RGB, 1 grayscale, ...).
    uint32_t imageMode() const { return imageMode_; }
    const std::vector<std::shared_ptr<const OMPSDChannelReference>>& channelReferences() const {
        return channelReferences_;
    }
    // An indexed tile's 256 colours, red, green and blue bytes each (768
    // bytes); empty for other modes.
    const std::vector<uint8_t>& colorTable() const { return colorTable_; }

private:
    std::string identifier_, name_;
    uint32_t imageMode_;
    std::vector<std::shared_ptr<const OMPSDChannelReference>> channelReferences_;
    std::vector<uint8_t> colorTable_;
};

// The patterns of one pattern block ("Patt", "Pat2" or "Pat3"). Damaged
// patterns end the list (those before them are kept).
std::vector<std::shared_ptr<const OMPSDPattern>> OMPSDReadPatterns(
    const lf::Data& block, std::weak_ptr<const OMPSDDocument> document);
