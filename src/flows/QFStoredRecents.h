#pragma once
// QFStoredRecents: the stored recents list ("RecentFlowsData-1.0") read
// into flows, as the flow manager reads it at launch and again whenever the
// list was changed outside the application: which entries list a flow, in
// stored order, and which are kept unlisted as they were stored (no flow's
// archive, none of its documents found, or the same documents as a flow
// written later, or as one before it when neither was written later). Each
// entry kept unlisted is logged.
//
// Main thread only (decoding resolves bookmarks, and flows are main-thread
// objects).

#include <nlohmann/json.hpp>

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

class QFFlow;

struct QFStoredRecents {
    struct Listed {
        std::shared_ptr<QFFlow> flow;
        // The entry as stored, which the flow was decoded from.
        nlohmann::json archive;
    };
    // In stored order.
    std::vector<Listed> listed;
    // The entries that list no flow, as stored, by their place in the
    // stored list, ascending.
    std::vector<std::pair<size_t, nlohmann::json>> unlisted;
};

// `stored`, an array of archived flows.
QFStoredRecents QFReadStoredRecents(const nlohmann::json& stored);

// A flow of the archived class, read from `archive`; null (with a log line)
// when it cannot be decoded.
std::shared_ptr<QFFlow> QFDecodeStoredFlow(const nlohmann::json& archive);
