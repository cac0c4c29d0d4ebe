#include "flows/runs/QFExportRunBody.h"

#include "flows/icns/QFICNSContainer.h"
#include "flows/inputs/QFDocumentBytes.h"
#include "flows/runs/QFExportFlowError.h"
#include "flows/runs/QFFlowRun.h"
#include "flows/scanner/QFPSDScanner.h"
#include "flows/shared/QFConfinedPath.h"
#include "flows/watching/QFModificationToken.h"
#include "platform/core/Log.h"
#include "platform/core/SystemInfo.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "psd/OMPSDDocument.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
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
// What a recipe throws is kept, by its index, for the run's thread: on a
// worker it would end the process.
std::vector<std::exception_ptr> runRecipes(
    const std::vector<std::shared_ptr<QFExportRecipe>>& recipes) {
    std::vector<std::exception_ptr> thrown(recipes.size());
    lf::DispatchSemaphore slots(lf::processorCount());
    lf::DispatchGroup group;
    for (size_t i = 0; i < recipes.size(); ++i) {
        slots.wait();
        group.async(lf::DispatchQueue::global(lf::QueuePriority::Default),
                    [recipe = recipes[i], failure = &thrown[i], slots]() mutable {
                        try {
                            recipe->run();
                        } catch (...) {
                            *failure = std::current_exception();
                        }
                        slots.signal();
                    });
    }
    group.wait();
    return thrown;
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
    // `status`, unless a document's file changed: then the input-changed
    // error.
    lf::Status unlessChanged(lf::Status status) const {
        if (auto changed = firstChanged()) return QFFlowRunInputChangedError(*changed);
        return status;
    }

private:
    std::vector<std::pair<std::string, std::optional<QFFileStamp>>> stamps_;
};

// Whether `error`, or one it wraps, says that memory ran out: the reader
// reports what it could not allocate so.
bool isOutOfMemory(const lf::Error& error) {
    if (error.is(lf::kPOSIXErrorDomain, ENOMEM)) return true;
    const auto underlying = error.underlyingError();
    return underlying && isOutOfMemory(*underlying);
}

// What was thrown, as the error of `what`: running out of memory
// (std::bad_alloc; std::length_error, for a size past what can be
// allocated) is ENOMEM, anything else says what the exception says.
lf::Error errorOfThrown(const std::exception_ptr& thrown, const std::string& what) {
    std::string reason = "unknown exception";
    try {
        std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
        return lf::Error::posix(ENOMEM, what);
    } catch (const std::length_error&) {
        return lf::Error::posix(ENOMEM, what);
    } catch (const std::exception& exception) {
        reason = exception.what();
    } catch (...) {
    }
    return lf::Error("std::exception", 0, {{lf::kLocalizedDescriptionKey, what + ": " + reason}});
}

// The error that ends the run for what reading or rendering the document
// of `item` threw: its read error.
lf::Error errorOfThrown(const std::exception_ptr& thrown, const QFExportInputItem& item) {
    return errorOfThrown(thrown, "read " + item.path);
}

// One input document of the run: its bytes as read, and the document
// opened from them, alive until every recipe ran.
struct RunDocument {
    const QFExportInputItem& item;
    QFDocumentBytes bytes;
    std::shared_ptr<OMPSDDocument> document;
};

// Whether the bytes of `document` read again give what they gave: the
// input-changed error when they do not; the document's read error when
// they could not be read again, or reading threw.
lf::Status readAgain(const RunDocument& document) {
    try {
        auto same = document.bytes.readsAgainAsRead();
        if (!same) return same.error();
        if (!*same) return QFFlowRunInputChangedError(document.item.path);
        return {};
    } catch (...) {
        return errorOfThrown(std::current_exception(), document.item);
    }
}

// The state of one export between its steps.
class ExportRun {
public:
    explicit ExportRun(std::vector<QFExportInputItem> items) : items_(std::move(items)) {
        std::stable_sort(items_.begin(), items_.end(),
                         [](const auto& a, const auto& b) { return a.path < b.path; });
        documents_.reserve(items_.size());  // each refers to its item
    }

    // Opens, checks and scans every document in the order of their paths,
    // up to the first that fails.
    lf::Status readDocuments() {
        for (const auto& item : items_)
            LF_TRY(readDocument(item));
        return {};
    }
    // Runs every recipe; then the first document, in order, that could not
    // be read or rendered ends the run.
    lf::Status render();
    void addOutputs(QFFlowOutput& output) const;

private:
    lf::Status readDocument(const QFExportInputItem& item);
    lf::Status unlessChanged(lf::Status status) const;
    lf::Status openAndScan(RunDocument& read);
    lf::Status firstFailure(const std::vector<std::exception_ptr>& thrown) const;

    std::vector<QFExportInputItem> items_;
    QFPSDScanner scanner_;
    ReadStamps stamps_;
    std::vector<RunDocument> documents_;
    // The document whose scan made each image recipe, and each icon recipe.
    std::vector<size_t> imageRecipeDocuments_, iconRecipeDocuments_;
};

// `status`, unless a document read changed since: its file written,
// replaced or removed (its stamp), or holding other bytes than were read
// (a write that was under way when its stamp was taken). The stamps are
// looked at after the bytes are read again, so that a read again that
// failed on a file written meanwhile counts as the change it is.
lf::Status ExportRun::unlessChanged(lf::Status status) const {
    for (const auto& document : documents_)
        if (lf::Status same = readAgain(document); !same) return stamps_.unlessChanged(same);
    return stamps_.unlessChanged(std::move(status));
}

lf::Status ExportRun::readDocument(const QFExportInputItem& item) {
    stamps_.willRead(item.path);
    auto bytes = item.openBytes();
    if (!bytes) return unlessChanged(bytes.error());
    RunDocument& read =
        documents_.emplace_back(RunDocument{item, QFDocumentBytes(*bytes, item.path), nullptr});
    lf::Status scanned;
    try {
        scanned = openAndScan(read);
    } catch (...) {
        scanned = errorOfThrown(std::current_exception(), item);
    }
    if (!scanned) return unlessChanged(std::move(scanned));
    // A save seen already ends the run now; the bytes are read again once
    // every read of them is done.
    return stamps_.unlessChanged({});
}

lf::Status ExportRun::openAndScan(RunDocument& read) {
    const auto documentError = [&](QFExportFlowFailure failure,
                                   std::shared_ptr<const lf::Error> underlying = nullptr) {
        return QFExportFlowError(failure, std::move(underlying), read.item.path, read.item.name);
    };
    auto document = OMPSDDocument::create(read.bytes.byteArray());
    if (auto failed = read.bytes.readError()) return *failed;
    if (!document) {
        if (isOutOfMemory(document.error())) return QFDocumentReadError(read.item.path, ENOMEM);
        return documentError(QFExportFlowFailure::invalidDocument,
                             std::make_shared<lf::Error>(document.error()));
    }
    read.document = std::move(*document);
    if (read.document->colorMode() != OMPSDDocument::rgb)
        return documentError(QFExportFlowFailure::unsupportedColorMode);
    if (read.document->depth() != 8 && read.document->depth() != 16)
        return documentError(QFExportFlowFailure::unsupportedColorDepth);
    if (auto scanned = scanner_.scanPSD(*read.document); !scanned)
        return QFExportFlowError(QFExportFlowFailure::scanFailed,
                                 std::make_shared<lf::Error>(scanned.error()));
    imageRecipeDocuments_.resize(scanner_.imageRecipes().size(), documents_.size() - 1);
    iconRecipeDocuments_.resize(scanner_.iconRecipes().size(), documents_.size() - 1);
    // The scan reads layers' planes for their bounds.
    if (auto failed = read.bytes.readError()) return *failed;
    return {};
}

lf::Status ExportRun::render() {
    std::vector<std::shared_ptr<QFExportRecipe>> recipes(scanner_.imageRecipes().begin(),
                                                         scanner_.imageRecipes().end());
    recipes.insert(recipes.end(), scanner_.iconRecipes().begin(), scanner_.iconRecipes().end());
    if (recipes.empty())
        return unlessChanged(QFExportFlowError(QFExportFlowFailure::noTaggedLayers));
    const auto thrown = runRecipes(recipes);
    // Rendered from what was read: kept only when that was one version.
    return unlessChanged(firstFailure(thrown));
}

lf::Status ExportRun::firstFailure(const std::vector<std::exception_ptr>& thrown) const {
    std::vector<size_t> owners = imageRecipeDocuments_;
    owners.insert(owners.end(), iconRecipeDocuments_.begin(), iconRecipeDocuments_.end());
    for (size_t index = 0; index < documents_.size(); ++index) {
        if (auto failed = documents_[index].bytes.readError()) return *failed;
        for (size_t recipe = 0; recipe < thrown.size(); ++recipe)
            if (thrown[recipe] && owners[recipe] == index)
                return errorOfThrown(thrown[recipe], documents_[index].item);
    }
    return {};
}

void ExportRun::addOutputs(QFFlowOutput& output) const {
    // Image files first, so that an icon file of the same path replaces one.
    for (const auto& recipe : scanner_.imageRecipes())
        for (const auto& [path, data] : recipe->results())
            addOutputItem(output, path, data, recipe->shouldReplaceExistingItemsForPath(path));
    addIconResults(scanner_, output);
}

lf::Status exportInto(std::vector<QFExportInputItem> inputItems, QFFlowOutput& output) {
    ExportRun run(std::move(inputItems));
    LF_TRY(run.readDocuments());
    LF_TRY(run.render());
    run.addOutputs(output);
    return {};
}

}  // namespace

QFExportInputItem QFExportInputItem::forFile(std::string path) {
    return {path, [path] { return QFOpenDocumentFile(path); }, {}};
}

lf::Status QFExportRunBody(std::vector<QFExportInputItem> inputItems, QFFlowOutput& output) {
    output.removeAllItems();
    try {
        return exportInto(std::move(inputItems), output);
    } catch (...) {
        // Thrown on the run's thread, not while reading or rendering a
        // document: making the run's steps or its outputs. The output is
        // left empty, as a failed run leaves it.
        output.removeAllItems();
        return errorOfThrown(std::current_exception(), "export");
    }
}
