#include "flows/QFExportRunBody.h"

#include "flows/QFConfinedPath.h"
#include "flows/QFExportFlowError.h"
#include "flows/QFFlowRun.h"
#include "flows/QFICNSContainer.h"
#include "flows/QFModificationToken.h"
#include "flows/QFPSDScanner.h"
#include "platform/DispatchGroup.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"
#include "platform/Log.h"
#include "platform/SystemInfo.h"
#include "psd/OMPSDDocument.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

namespace {

// The name with NUL characters shown, for a log line.
std::string printableName(const std::string& name) {
    std::string printable;
    for (char c : name)
        c == '\0' ? printable += "\\0" : printable += c;
    return printable;
}

void addOutputItem(QFFlowOutput& output, const std::string& path, lf::Data data, bool replace) {
    auto components = QFConfinedPathComponents(path);
    if (!components) {
        lf::log("Output name \"{}\" refused: it does not name a file inside the output folder",
                printableName(path));
        return;
    }
    auto item = std::make_shared<QFFlowOutputItem>(std::move(*components));
    item->setData(std::move(data));
    output.addOutputItem(std::move(item), replace);
}

// Every recipe run on the global queue, at most one per processor at once.
void runRecipes(const std::vector<std::shared_ptr<QFExportRecipe>>& recipes) {
    lf::DispatchSemaphore slots(lf::processorCount());
    lf::DispatchGroup group;
    for (const auto& recipe : recipes) {
        slots.wait();
        group.async(lf::DispatchQueue::global(lf::QueuePriority::Default),
                    [recipe, slots]() mutable {
                        recipe->run();
                        slots.signal();
                    });
    }
    group.wait();
}

// The icon elements of every path merged into one ICNS file; a file
// without any element that can be written is not made.
void addIconResults(const QFPSDScanner& scanner, QFFlowOutput& output) {
    std::map<std::string, std::vector<const QFIconExportRecipe*>> recipesByPath;
    for (const auto& recipe : scanner.iconRecipes())
        recipesByPath[*recipe->path()].push_back(recipe.get());
    for (const auto& [path, recipes] : recipesByPath) {
        QFICNSContainer container;
        for (const auto* recipe : recipes)
            for (const auto& [resultPath, elements] : recipe->results())
                for (const auto& element : elements)
                    if (element->hasPayloads()) container.addElement(element);
        if (container.elements().empty()) continue;
        addOutputItem(output, path, container.ICNSRepresentation(), true);
    }
}

// The stamp of each document's file taken before it was read: a file
// stamped otherwise later was written, replaced or removed meanwhile.
class ReadStamps {
public:
    void willRead(const std::string& path) {
        stamps_.emplace_back(path, QFFileStamp::atPath(path));
    }
    // The first document read whose file changed since; none when every
    // one is as it was.
    std::optional<std::string> firstChanged() const {
        for (const auto& [path, stamp] : stamps_)
            if (QFFileStamp::atPath(path) != stamp) return path;
        return std::nullopt;
    }
    // `status`, unless a document changed: then the input-changed error.
    lf::Status unlessChanged(lf::Status status) const {
        if (auto changed = firstChanged()) return QFFlowRunInputChangedError(*changed);
        return status;
    }

private:
    std::vector<std::pair<std::string, std::optional<QFFileStamp>>> stamps_;
};

}  // namespace

QFExportInputItem QFExportInputItem::forFile(std::string path) {
    return {path, [path] { return lf::Data::readFile(path); }, {}};
}

lf::Status QFExportRunBody(std::vector<QFExportInputItem> inputItems, QFFlowOutput& output) {
    output.removeAllItems();
    std::stable_sort(inputItems.begin(), inputItems.end(),
                     [](const auto& a, const auto& b) { return a.path < b.path; });

    QFPSDScanner scanner;
    ReadStamps stamps;
    std::vector<std::shared_ptr<OMPSDDocument>> documents;  // alive until every recipe ran
    for (const auto& item : inputItems) {
        const auto documentError = [&](QFExportFlowFailure failure,
                                       std::shared_ptr<const lf::Error> underlying = nullptr) {
            return stamps.unlessChanged(
                QFExportFlowError(failure, std::move(underlying), item.path, item.name));
        };
        stamps.willRead(item.path);
        auto data = item.readData();
        if (!data) return stamps.unlessChanged(data.error());
        auto document = OMPSDDocument::create(std::move(*data));
        if (!document)
            return documentError(QFExportFlowFailure::invalidDocument,
                                 std::make_shared<lf::Error>(document.error()));
        if ((*document)->colorMode() != OMPSDDocument::rgb)
            return documentError(QFExportFlowFailure::unsupportedColorMode);
        if ((*document)->depth() != 8 && (*document)->depth() != 16)
            return documentError(QFExportFlowFailure::unsupportedColorDepth);
        if (auto scanned = scanner.scanPSD(**document); !scanned)
            return stamps.unlessChanged(QFExportFlowError(
                QFExportFlowFailure::scanFailed, std::make_shared<lf::Error>(scanned.error())));
        documents.push_back(std::move(*document));
    }

    std::vector<std::shared_ptr<QFExportRecipe>> recipes(scanner.imageRecipes().begin(),
                                                         scanner.imageRecipes().end());
    recipes.insert(recipes.end(), scanner.iconRecipes().begin(), scanner.iconRecipes().end());
    if (recipes.empty())
        return stamps.unlessChanged(QFExportFlowError(QFExportFlowFailure::noTaggedLayers));
    runRecipes(recipes);
    // Rendered from what was read: kept only when that was one version.
    LF_TRY(stamps.unlessChanged({}));

    // Image files first, so that an icon file of the same path replaces one.
    for (const auto& recipe : scanner.imageRecipes())
        for (const auto& [path, data] : recipe->results())
            addOutputItem(output, path, data, recipe->shouldReplaceExistingItemsForPath(path));
    addIconResults(scanner, output);
    return {};
}
