#include "flows/QFStoredRecents.h"

#include "flows/QFExportFlow.h"
#include "flows/QFFlow.h"
#include "flows/shared/QFKeyedArchive.h"
#include "platform/core/Log.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

std::shared_ptr<QFFlow> QFDecodeStoredFlow(const nlohmann::json& archive) {
    const std::string className = QFArchivedClassName(archive);
    std::shared_ptr<QFFlow> flow;
    if (className == QFExportFlow::kClassName)
        flow = std::make_shared<QFExportFlow>();
    else if (className == QFFlow::kClassName)
        flow = std::make_shared<QFFlow>();
    if (!flow) {
        lf::log("Couldn't decode a flow: no flow class named \"{}\"", className);
        return nullptr;
    }
    return flow->decodeArchive(archive) ? flow : nullptr;
}

QFStoredRecents QFReadStoredRecents(const nlohmann::json& stored) {
    QFStoredRecents recents;
    // The listed flow of each set of documents, with its place in the
    // stored list.
    std::map<std::set<std::string>, size_t> listedIndexOfDocuments;
    std::map<size_t, std::shared_ptr<QFFlow>> listed;
    for (size_t index = 0; index < stored.size(); ++index) {
        const nlohmann::json& archive = stored[index];
        auto flow = QFDecodeStoredFlow(archive);
        // A flow whose documents could not all be found again is no use
        // now, but may be once they are back.
        if (!flow || flow->inputURLs().empty()) {
            lf::log("Couldn't list the stored flow at {} of the recents: it is kept as stored",
                    index);
            recents.unlisted.emplace_back(index, archive);
            continue;
        }
        auto [other, first] = listedIndexOfDocuments.try_emplace(flow->inputURLs(), index);
        if (first) {
            listed.emplace(index, std::move(flow));
            continue;
        }
        // Two flows of the same documents (one made while the other's were
        // out of reach): the one written last is listed, the first of them
        // when that tells them not apart.
        size_t unlisted = index;
        if (flow->lastRunDate() > listed.at(other->second)->lastRunDate()) {
            unlisted = std::exchange(other->second, index);
            listed.erase(unlisted);
            listed.emplace(index, std::move(flow));
        }
        lf::log(
            "Couldn't list the stored flow at {} of the recents: another flow of the same "
            "documents is listed; it is kept as stored",
            unlisted);
        recents.unlisted.emplace_back(unlisted, stored[unlisted]);
    }
    std::sort(recents.unlisted.begin(), recents.unlisted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [index, flow] : listed)
        recents.listed.push_back({std::move(flow), stored[index]});
    return recents;
}
