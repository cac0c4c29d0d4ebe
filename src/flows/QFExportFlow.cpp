#include "flows/QFExportFlow.h"

#include "flows/QFExportFlowError.h"
#include "flows/QFExportRunBody.h"
#include "flows/QFFlowOutput.h"
#include "flows/QFFlowRun.h"
#include "platform/TypeIdentifier.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

// The document's path below the input folder that holds it; empty for a
// document given itself, which its file name names.
std::string nameBelowInputFolder(const std::string& path, const std::set<std::string>& inputs) {
    for (const auto& input : inputs) {
        const std::string folder = input == "/" ? input : input + "/";
        if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0)
            return path.substr(folder.size());
    }
    return {};
}

// The first path given to the flow at which nothing is left.
std::optional<std::string> firstMissingInput(const std::set<std::string>& inputs) {
    for (const auto& input : inputs) {
        struct stat info {};
        if (::lstat(input.c_str(), &info) != 0 && errno == ENOENT) return input;
    }
    return std::nullopt;
}

}  // namespace

std::function<lf::Result<BASlice>()> QFExportFlow::documentReader(
    std::shared_ptr<const QFFlowInputItem> document) const {
    return [document] { return document->bytesWithOptions(QFDataReadingUncached); };
}

std::shared_ptr<QFFlowRun> QFExportFlow::newRunWithInput(
    std::shared_ptr<const QFFlowInputProtocol> input, std::shared_ptr<QFFlowOutput> output) {
    const std::set<std::string> inputs = inputURLs();
    std::vector<QFExportInputItem> items;
    if (auto documents = input->inputItemsForType(lf::kTypePhotoshopImage, QFFlowInputItemsAll)) {
        for (const auto& document : *documents)
            items.push_back({document->itemURL(), documentReader(document),
                             nameBelowInputFolder(document->itemURL(), inputs)});
    }
    return QFFlowRun::create(
        [inputs, items = std::move(items), output = std::move(output)](QFFlowRun& run) mutable {
            if (items.empty()) {
                if (auto missing = firstMissingInput(inputs)) {
                    output->removeAllItems();  // as any failed run leaves it
                    return run.didFailWithError(
                        QFExportFlowError(QFExportFlowFailure::missingDocument, nullptr, *missing));
                }
            }
            lf::Status exported = QFExportRunBody(std::move(items), *output);
            if (exported)
                run.didFinish();
            else
                run.didFailWithError(exported.error());
        });
}
