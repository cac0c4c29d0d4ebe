#include "rendergraph/core/BNRenderRequest.h"

#include "geometry/VKGeometryStrings.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/core/BNSurfaceRegion.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

uint64_t BNRenderRequestKey::hash() const {
    uint64_t h = 0;
    auto mix = [&h](uint8_t byte) { h = ((h << 8) | (h >> 56)) ^ byte; };
    for (uint8_t byte : hashIdentifier.bytes)
        mix(byte);
    uint8_t scaleBytes[sizeof scaleFactor];
    std::memcpy(scaleBytes, &scaleFactor, sizeof scaleFactor);
    for (uint8_t byte : scaleBytes)
        mix(byte);
    return h;
}

std::string BNRenderRequestKey::description() const {
    return fmt::format("<{}@{:g}x>", hashIdentifier.string(), scaleFactor);
}

BNRenderRequest::BNRenderRequest(BNRenderNodePtr node, VKRect bounds, BNRenderRequestKey key)
    : key_(key), node_(std::move(node)), bounds_(bounds) {}

void BNRenderRequest::addInput(BNRenderRequest* input) {
    auto [it, inserted] = inputs_.try_emplace(input->key(), input);
    if (inserted) {
        inputOrder_.push_back(input);
    } else if (it->second != input) {
        std::replace(inputOrder_.begin(), inputOrder_.end(), it->second, input);
        it->second = input;
    }
}

BNRenderRequest* BNRenderRequest::inputForKey(const BNRenderRequestKey& key) const {
    auto it = inputs_.find(key);
    return it == inputs_.end() ? nullptr : it->second;
}

std::vector<BNRenderRequest*> BNRenderRequest::inputRequestsSortedByHeight() const {
    std::vector<BNRenderRequest*> sorted = inputOrder_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const BNRenderRequest* a, const BNRenderRequest* b) {
                         return a->node()->height() < b->node()->height();
                     });
    return sorted;
}

void BNRenderRequest::addOutput(BNRenderRequest* consumer) {
    outputs_.insert(consumer);
    outputCount_ = outputs_.size();
}

void BNRenderRequest::removeOutput(BNRenderRequest*) {
    if (outputCount_ > 0 && --outputCount_ == 0) surface_.reset();
}

void BNRenderRequest::invalidate() {
    inputs_.clear();
    inputOrder_.clear();
    outputs_.clear();
}

std::string BNRenderRequest::description() const {
    return fmt::format("<{} {} {}>", node_->className(), static_cast<const void*>(this),
                       NSStringFromVKRect(bounds_));
}

namespace {

// Whether an input after the first has this identity (the node reads the
// first input's pixels through another input as well).
bool readsAgainAfterFirst(const BNRenderNode& node, const BNHashIdentifier& identity) {
    const auto& inputs = node.inputNodes();
    return std::any_of(inputs.begin() + 1, inputs.end(), [&](const BNRenderNodePtr& other) {
        return other && other->hashIdentifier() == identity;
    });
}

// Whether `view`, cut from `whole`, lies within the pixels `whole` holds.
// Where a rectangle's pixel edges are not whole numbers (scales that are
// not whole, mostly), a view can claim a row or column past its surface's
// pixels; nothing may draw over such a view in place.
bool liesWithinPixels(const BNSurface& whole, const BNSurface& view) {
    if (&view == &whole) return true;
    BNPixelRect pixels = BNPixelRectOfRect(whole, view.rect());
    return view.widthInPixels() <= pixels.width && view.heightInPixels() <= pixels.height;
}

}  // namespace

void BNRenderRequest::renderWithContext(BNRenderingContext& context) {
    const BNRenderNode& node = *node_;
    double scale = key_.scaleFactor;
    BNSurfaceList inputs;
    inputs.reserve(node.inputNodes().size());
    BNSurfacePtr inPlace;

    for (size_t index = 0; index < node.inputNodes().size(); ++index) {
        const BNRenderNode* input = node.inputNode(index);
        VKRect region = node.regionOfInterestForInputNodeAtIndex(index, bounds_, scale);
        if (!input || VKRectIsEmpty(region)) {
            inputs.push_back(BNSurface::emptySurface());
            continue;
        }
        BNRenderRequestKey key{input->hashIdentifier(),
                               scale * node.scaleFactorMultiplierForInputNodeAtIndex(index)};
        BNRenderRequest* inputRequest = inputForKey(key);
        if (!inputRequest) {
            lf::log("Unresolved dependency for node: {}", node.className());
            std::string known;
            for (const auto* request : inputOrder_)
                known += request->key().description() + " ";
            lf::log("{}", known);
            return;
        }
        BNSurfacePtr subsurface =
            inputRequest->surface() ? inputRequest->surface()->subsurfaceWithRect(region) : nullptr;
        if (!subsurface) {
            lf::log(
                "Subsurface is nil! {}, {}", inputRequest->description(),
                inputRequest->surface() ? inputRequest->surface()->description() : "(no surface)");
            return;
        }
        // A node may draw over its first input (a blend over its background)
        // when nothing else reads that surface: this request is its only
        // consumer and reads it as the first input only, it covers exactly
        // the node's rectangle, within the surface's pixels, its memory is
        // not shown through another surface as well, and no view of it is
        // alive but the one just cut (a consumer that has rendered may have
        // returned a view of it, as a translation does).
        const BNSurface& whole = *inputRequest->surface();
        int ownViews = subsurface.get() == &whole ? 0 : 1;
        if (index == 0 && node.rendersInPlaceOverFirstInput() && inputRequest->outputCount() == 1 &&
            VKRectEqualToRect(region, bounds_) && liesWithinPixels(whole, *subsurface) &&
            whole.ownsMemory() && whole.subsurfaceCount() == ownViews &&
            !readsAgainAfterFirst(node, input->hashIdentifier()))
            inPlace = subsurface;
        inputs.push_back(std::move(subsurface));
    }

    if (inPlace) {
        node.renderWithOutputSurface(*inPlace, inputs, context);
        surface_ = inPlace;
    } else {
        surface_ = node.preparedOutputSurface(bounds_, scale, inputs, context);
    }
    if (!surface_) lf::log("Rendering returned a nil surface");
    inputs.clear();

    if (surface_)
        for (const auto& name : debugNames_)
            surface_->debugDumpWithName(name);
    for (BNRenderRequest* input : inputOrder_)
        input->removeOutput(this);
}
