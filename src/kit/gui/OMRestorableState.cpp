#include "kit/gui/OMRestorableState.h"

#include "platform/core/Log.h"

std::optional<lf::Data> OMRestorableState::dataByEncodingRestorableState() const {
    nlohmann::json coder = nlohmann::json::object();
    encodeRestorableState(coder);
    if (coder.empty()) return std::nullopt;
    return lf::Data::fromString(coder.dump());
}

void OMRestorableState::restoreStateWithData(const lf::Data& data) {
    if (data.empty()) return;
    nlohmann::json coder = nlohmann::json::parse(data.stringView(), nullptr, false);
    if (!coder.is_object()) {
        lf::log("OMRestorableState: the restorable state is not a keyed object; ignored");
        return;
    }
    restoreState(coder);
}
