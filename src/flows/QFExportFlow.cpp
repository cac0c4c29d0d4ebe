#include "flows/QFExportFlow.h"

#include "flows/runs/QFExportFlowError.h"
#include "flows/runs/QFExportRunBody.h"
#include "flows/runs/QFFlowOutput.h"
#include "flows/runs/QFFlowRun.h"
#include "kit/OMLocalizer.h"
#include "platform/files/PathRoute.h"
#include "platform/files/TypeIdentifier.h"

namespace {

// The document's path below the input folder that holds it; empty for a
// document given itself, which its file name names.
std::string nameBelowInputFolder(const std::string& path, const std::set<std::string>& inputs) {
    for (const auto& input : inputs) {
        if (path != input && lf::isPathInside(path, input))
            return path.substr(input == "/" ? 1 : input.size() + 1);
    }
    return {};
}

// The error a run ends with for the paths it was given that yield no
// documents, before it reads any: the first that cannot be read, or, when
// the run has no document at all, the first of them.
std::optional<lf::Error> inputFailure(const QFFlowInputProblems& problems, bool hasDocuments) {
    for (const auto& [path, problem] : problems)
        if (problem.isUnreadable()) return QFExportFlowInputError(path, problem);
    if (hasDocuments || problems.empty()) return std::nullopt;
    return QFExportFlowInputError(problems.begin()->first, problems.begin()->second);
}

}  // namespace

std::function<lf::Result<BASlice>()> QFExportFlow::documentReader(
    std::shared_ptr<const QFFlowInputItem> document) const {
    return [document] { return document->bytesWithOptions(QFDataReadingUncached); };
}

std::shared_ptr<QFFlowRun> QFExportFlow::newRunWithInput(
    std::shared_ptr<const QFFlowInputProtocol> input, std::shared_ptr<QFFlowOutput> output) {
    // The run's errors and those of writing its outputs are told in the
    // table's words; it is read before the run holds documents and outputs
    // open, since at the limit of open files it could not be read then.
    OMLocalizer::defaultLocalizer()->loadTable();
    const std::set<std::string> inputs = inputURLs();
    std::vector<QFExportInputItem> items;
    if (auto documents = input->inputItemsForType(lf::kTypePhotoshopImage, QFFlowInputItemsAll)) {
        for (const auto& document : *documents)
            items.push_back({document->itemURL(), documentReader(document),
                             nameBelowInputFolder(document->itemURL(), inputs)});
    }
    std::optional<lf::Error> failure = inputFailure(input->inputProblems(), !items.empty());
    return QFFlowRun::create([failure = std::move(failure), items = std::move(items),
                              output = std::move(output)](QFFlowRun& run) mutable {
        if (failure) {
            output->removeAllItems();  // as any failed run leaves it
            return run.didFailWithError(*failure);
        }
        lf::Status exported = QFExportRunBody(std::move(items), *output);
        if (exported)
            run.didFinish();
        else
            run.didFailWithError(exported.error());
    });
}
