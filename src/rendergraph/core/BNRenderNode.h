#pragma once
// BNRenderNode: the abstract base of every node of the render graph.
//
// A node is an immutable description of one image operation. Its inputs are
// fixed at creation, it never holds pixels, and the renderer (BNRenderer)
// can render it any number of times, for any rectangle in points and any
// scale factor, on any number of threads at once. Subclasses override the
// hooks below; the base supplies the inputs, weak back-references to the
// consumers, the bounds and the identity (each computed once, on first use,
// from any thread) and debugging aids.
//
// Creation. Nodes are made by each class's static create(...), which returns
// null where the node cannot be made (for example an input with a channel
// mask the node cannot work on, with a log line naming the class). Nodes
// are shared as std::shared_ptr<const T>.
//
// Ownership. A node holds its inputs strongly and its consumers weakly, so a
// graph is freed from its root. Subclasses reach their inputs through
// inputNode(i) and never keep other strong references to nodes: the base
// releases inputs iteratively, so a chain thousands of nodes deep is freed
// without deep recursion. Bounds and identity are likewise computed bottom
// up without recursion.
//
// Identity. The identity is the SHA-1 digest of: the format version, the
// concrete class name, then what each class's updateHashContext adds: each
// input's label and identity in the class's fixed order, then its parameters
// as raw bytes (BNHashIdentifier.h). Providers and paths take part by
// address, so two nodes are equal only if they share the same objects.
//
// Beside the renderer's hooks a node carries the bookkeeping of the node
// pipeline (BNPipeline.h), a scheduler the renderer does not use, and of the
// debugging walks; both live in a record made on first use.

#include "geometry/VKGeometry.h"
#include "rendergraph/core/BNChannel.h"
#include "rendergraph/core/BNHashIdentifier.h"
#include "rendergraph/core/BNSurface.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class BNPipeline;
class BNRenderingContext;
class BNRenderNode;
struct BNNodeActivities;
struct BNNodeActivity;
struct BNNodeKind;
namespace lf {
class DispatchQueue;
}
using BNRenderNodePtr = std::shared_ptr<const BNRenderNode>;
using BNSurfaceList = std::vector<BNSurfacePtr>;

class BNRenderNode : public std::enable_shared_from_this<BNRenderNode> {
public:
    virtual ~BNRenderNode();
    BNRenderNode(const BNRenderNode&) = delete;
    BNRenderNode& operator=(const BNRenderNode&) = delete;

    // Inputs in the class's fixed order; an entry may be null where a class
    // allows a missing input.
    const std::vector<BNRenderNodePtr>& inputNodes() const { return inputs_; }
    const BNRenderNode* inputNode(size_t index) const { return inputs_[index].get(); }
    // The consumers still alive, in the order they were made.
    std::vector<BNRenderNodePtr> outputNodes() const;

    // The node's extent in points; calculateBounds runs once.
    VKRect bounds() const;
    // The node's identity; computed once.
    const BNHashIdentifier& hashIdentifier() const;
    // 1 without inputs, else 1 + the largest height of the inputs.
    uint64_t height() const { return height_; }

    // The renderer dumps the output of a marked node after each render
    // (BNSurface::debugDumpWithName). A developer aid.
    void markForDebugWithName(std::string name) const;
    std::string debugName() const;
    // { "name" = "<class>"; "inputNodes" = { "<label>" = <input>; ...; }; }
    std::string debugDescription() const;
    // "<class: address>": the node in log lines.
    std::string description() const;
    // Writes to standard output, once per node of the graph below this one
    // and for the node's life, the class name and its inputs' classes and
    // heights: "BNBlendNode (BNImageNode 1, BNTranslateNode 2)".
    void doHeightTest() const;

    // ---- Class-level developer checks (BNNodeKindRegistry.h) -------------

    // Every node kind of the render graph.
    static std::vector<BNNodeKind> subclasses();
    // Logs each node kind whose identity holds nothing but its class name.
    static void searchForUnimplementedHashMethods();

    // ---- Hooks ----------------------------------------------------------

    // The concrete class name, fed into the identity.
    virtual const char* className() const = 0;
    // The label of an input in descriptions: "input<index>".
    virtual std::string labelForInputNodeAtIndex(size_t index) const;
    // The extent in points; the infinite rectangle by default. Called once.
    virtual VKRect calculateBounds() const;
    // The node's value outside its bounds; 0 by default.
    virtual float backgroundValueForChannel(BNChannel channel) const;
    // Feeds the identity. Overrides call the base first, then feed their
    // inputs (label and identity) and their parameters.
    virtual void updateHashContext(BNHashContext& context) const;
    // The channels of the node's output; RGBA (15) by default.
    virtual BNChannelMask channels() const;
    // The part of input `index`, in points, needed to produce `rect` at
    // `scaleFactor`; an empty rectangle means the input is not needed.
    virtual VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                                       double scaleFactor) const;
    // Input scale = the node's scale times this; 1 by default.
    virtual double scaleFactorMultiplierForInputNodeAtIndex(size_t index) const;
    // Fills `output`; the input surfaces cover exactly each input's region
    // of interest (the empty surface for an input that is not needed).
    // Every sample of the output must be written.
    virtual void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                         BNRenderingContext& context) const;
    // The renderer's entry: by default a surface from the context with the
    // node's channels, filled by renderWithOutputSurface. A node that can
    // return a view of an input overrides this instead. Null when no memory
    // could be had.
    virtual BNSurfacePtr preparedOutputSurface(VKRect rect, double scaleFactor,
                                               const BNSurfaceList& inputs,
                                               BNRenderingContext& context) const;
    // A cheaper node with the same pixels over `rect` at `scaleFactor`, or
    // null for this node itself.
    virtual BNRenderNodePtr substituteNodeForRect(VKRect rect, double scaleFactor) const;
    // Whether the node renders at any scale; otherwise the renderer renders
    // it at scale 1 and scales the pixels.
    virtual bool supportsScaleFactor() const;
    // Whether the node may draw its result over its first input's surface
    // when nobody else reads that surface (blending over a background).
    virtual bool rendersInPlaceOverFirstInput() const { return false; }
    // Estimated cost of the node's output, read by the node pipeline; 1 by
    // default.
    virtual uint64_t outputMemoryCost() const { return 1; }

    // ---- Node pipeline (BNRenderNodePipeline.cpp) -------------------------
    // The tag (0 or 1) names which of a node's two activity records a
    // schedule uses; see BNPipeline.h for the threading contract.

    // Cuts the graph below this node into pipelines whose cost stays under
    // `preferredMemoryCost` and appends them to `pipelines` in running
    // order, this node's own part last.
    void generatePipelines(std::vector<std::shared_ptr<BNPipeline>>& pipelines,
                           uint64_t preferredMemoryCost, uint64_t tag, VKRect rect,
                           double scaleFactor) const;
    // The planning walk of generatePipelines: resets the activity records
    // of the graph below this node, records what each node is asked for,
    // and gives the inputs of every node whose inputs together cost more
    // than the budget pipelines of their own. Returns the cost of this
    // node's own part.
    uint64_t maximumMemoryCostWhileGeneratingPipelines(
        std::vector<std::shared_ptr<BNPipeline>>& pipelines, uint64_t preferredMemoryCost,
        uint64_t tag, VKRect rect, double scaleFactor) const;
    // Gives `pipeline` to this node and every node below it without one,
    // counts them into `count`, sets the missing-input and
    // output-dependency counts of their input edges, and collects into
    // `leaves` those that can start at once.
    void recursivelyAssignPipeline(const std::shared_ptr<BNPipeline>& pipeline,
                                   std::vector<BNRenderNodePtr>& leaves, uint64_t& count,
                                   uint64_t tag) const;
    // Submits the node's pipeline work to `queue`: it logs what it would
    // render, tells its inputs and its consumers in the same pipeline that
    // it has finished, then tells its pipeline.
    void dispatchToQueue(const std::shared_ptr<lf::DispatchQueue>& queue, uint64_t tag) const;
    // One input in the node's pipeline has finished; the last one dispatches
    // the node.
    void inputNodeDidFinishWithTag(uint64_t tag) const;
    // One consumer has finished; after the last one the output is released.
    void outputNodeDidFinishWithTag(uint64_t tag) const;
    BNSurfacePtr outputWithTag(uint64_t tag) const;

    // Gives this node and every node below it, each once for its life, its
    // distance from here along the first path met, and collects the nodes
    // without inputs.
    void recursivelyMarkWithDepth(uint64_t depth, std::vector<BNRenderNodePtr>& leaves) const;
    uint64_t depth() const;
    // The inputs, tallest first (missing inputs last).
    std::vector<BNRenderNodePtr> inputNodesSortedByHeight() const;

protected:
    // A token that only node classes can make, so that nodes are made only
    // through their classes' create functions.
    struct CreationKey {
        explicit CreationKey() = default;
    };

    explicit BNRenderNode(std::vector<BNRenderNodePtr> inputs);

    // Makes a node and enters it among its inputs' consumers.
    template <typename T, typename... Args>
    static std::shared_ptr<const T> make(Args&&... args) {
        auto node = std::make_shared<T>(CreationKey{}, std::forward<Args>(args)...);
        node->registerWithInputs();
        return node;
    }

    // Feeds `label`, then the identity of input `index` (20 zero bytes when
    // the input is missing).
    void updateHashContextWithInput(BNHashContext& context, const char* label, size_t index) const;

private:
    void registerWithInputs() const;
    void addOutputNode(std::weak_ptr<const BNRenderNode> node) const;
    BNNodeActivities& activities() const;
    BNNodeActivity& activityWithTag(uint64_t tag) const;

    std::vector<BNRenderNodePtr> inputs_;
    uint64_t height_;

    mutable std::once_flag boundsOnce_;
    mutable std::atomic<bool> boundsReady_{false};
    mutable VKRect bounds_ = VKRectNull;
    mutable std::once_flag hashOnce_;
    mutable std::atomic<bool> hashReady_{false};
    mutable BNHashIdentifier hashIdentifier_;

    mutable std::mutex mutex_;  // guards outputs_ and debugName_
    mutable std::vector<std::weak_ptr<const BNRenderNode>> outputs_;
    mutable std::string debugName_;

    mutable std::once_flag activitiesOnce_;
    mutable std::unique_ptr<BNNodeActivities> activities_;

    friend struct BNRenderNodeGraph;
};
