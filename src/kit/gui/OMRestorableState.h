#pragma once
// OMRestorableState: what a responder keeps across launches. A class that
// has state to keep inherits it and overrides the coder functions (which do
// nothing by default); the state travels as a keyed JSON object.
//
// Threads: main thread only.

#include "platform/files/Data.h"

#include <nlohmann/json.hpp>

#include <optional>

class OMRestorableState {
public:
    virtual ~OMRestorableState() = default;

    virtual void encodeRestorableState(nlohmann::json& coder) const {}
    virtual void restoreState(const nlohmann::json& coder) {}
    virtual void invalidateRestorableState() {}

    // The encoded state; nullopt when nothing was encoded.
    std::optional<lf::Data> dataByEncodingRestorableState() const;
    // Restores from `data`; nothing for empty or unreadable data.
    void restoreStateWithData(const lf::Data& data);
};
