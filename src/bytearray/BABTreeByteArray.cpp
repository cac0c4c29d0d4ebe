#include "bytearray/BABTreeByteArray.h"

#include "bytearray/BAError.h"
#include "bytearray/BAFileReference.h"
#include "platform/core/Assert.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Entries per node before it splits; each half keeps at least kMaxEntries / 2.
constexpr size_t kMaxEntries = 32;

}  // namespace

// A node holds either slices (a leaf) or children, never both, and the byte
// count of each entry; `total` is their sum.
struct BABTreeByteArray::Node {
    bool leaf = true;
    std::vector<uint64_t> counts;
    std::vector<BASlice> slices;                  // leaf entries
    std::vector<std::unique_ptr<Node>> children;  // inner entries
    uint64_t total = 0;

    size_t size() const { return counts.size(); }

    // Moves the upper half of the entries into a new sibling.
    std::unique_ptr<Node> splitOffUpperHalf() {
        auto sibling = std::make_unique<Node>();
        sibling->leaf = leaf;
        size_t half = size() / 2;
        sibling->counts.assign(counts.begin() + half, counts.end());
        counts.resize(half);
        if (leaf) {
            sibling->slices.assign(std::make_move_iterator(slices.begin() + half),
                                   std::make_move_iterator(slices.end()));
            slices.resize(half);
        } else {
            sibling->children.assign(std::make_move_iterator(children.begin() + half),
                                     std::make_move_iterator(children.end()));
            children.resize(half);
        }
        for (uint64_t c : sibling->counts)
            sibling->total += c;
        total -= sibling->total;
        return sibling;
    }
};

namespace {

using Node = BABTreeByteArray::Node;

// Inserts `slice` before byte `offset` of the subtree; returns the new right
// sibling when the node had to split.
std::unique_ptr<Node> insertInto(Node& node, uint64_t offset, BASlice slice) {
    uint64_t length = slice.length;
    if (node.leaf) {
        size_t index = 0;
        uint64_t start = 0;
        while (index < node.size() && start + node.counts[index] <= offset)
            start += node.counts[index++];
        if (index < node.size() && offset > start) {
            // The offset falls inside slice `index`: cut it in two around the insertion.
            BASlice& left = node.slices[index];
            uint64_t keep = offset - start;
            BASlice right{left.source, left.offset + keep, left.length - keep};
            left.length = keep;
            node.counts[index] = keep;
            ++index;
            node.slices.insert(node.slices.begin() + index, right);
            node.counts.insert(node.counts.begin() + index, right.length);
        }
        node.slices.insert(node.slices.begin() + index, std::move(slice));
        node.counts.insert(node.counts.begin() + index, length);
    } else {
        // The last child whose range reaches the offset: appending at a
        // child's end keeps later children untouched.
        size_t index = 0;
        uint64_t start = 0;
        while (index + 1 < node.size() && start + node.counts[index] < offset)
            start += node.counts[index++];
        auto sibling = insertInto(*node.children[index], offset - start, std::move(slice));
        node.counts[index] = node.children[index]->total;
        if (sibling) {
            node.counts.insert(node.counts.begin() + index + 1, sibling->total);
            node.children.insert(node.children.begin() + index + 1, std::move(sibling));
        }
    }
    node.total += length;
    return node.size() > kMaxEntries ? node.splitOffUpperHalf() : nullptr;
}

// Calls visit for the pieces of slices under `node` within [offset, offset + length).
void visitRange(const Node& node, uint64_t offset, uint64_t length,
                const std::function<void(const BASlice&)>& visit) {
    uint64_t start = 0;
    for (size_t i = 0; i < node.size() && length > 0; ++i) {
        uint64_t count = node.counts[i];
        if (offset >= start + count) {
            start += count;
            continue;
        }
        uint64_t inner = offset - start;
        uint64_t take = std::min(count - inner, length);
        if (node.leaf) {
            const BASlice& slice = node.slices[i];
            visit(BASlice{slice.source, slice.offset + inner, take});
        } else {
            visitRange(*node.children[i], inner, take, visit);
        }
        offset += take;
        length -= take;
        start += count;
    }
}

size_t countSlices(const Node& node) {
    if (node.leaf) return node.size();
    size_t total = 0;
    for (const auto& child : node.children)
        total += countSlices(*child);
    return total;
}

}  // namespace

BABTreeByteArray::BABTreeByteArray() : root_(std::make_unique<Node>()) {}

BABTreeByteArray::BABTreeByteArray(lf::Data data) : BABTreeByteArray() {
    uint64_t length = data.size();
    if (length > 0)
        insertSliceLocked({std::make_shared<BAMemorySource>(std::move(data)), 0, length}, 0);
}

BABTreeByteArray::~BABTreeByteArray() = default;

lf::Result<std::shared_ptr<BABTreeByteArray>> BABTreeByteArray::createWithFile(
    const std::string& path) {
    auto file = BAFileReference::open(path);
    if (!file) return file.error();
    auto array = std::make_shared<BABTreeByteArray>();
    uint64_t length = (*file)->length();
    if (length > 0) array->insertSliceLocked({*file, 0, length}, 0);
    return array;
}

uint64_t BABTreeByteArray::length() const {
    std::shared_lock lock(mutex_);
    return root_->total;
}

lf::Status BABTreeByteArray::checkRange(BARange range) const {
    if (range.fitsWithin(root_->total)) return {};
    return BAMakeError(BAByteArrayErrorRangeOutOfBounds,
                       fmt::format("range {}+{} reaches past the end of {} bytes", range.location,
                                   range.length, root_->total));
}

lf::Status BABTreeByteArray::copyBytes(void* destination, BARange range) const {
    std::shared_lock lock(mutex_);
    LF_TRY(checkRange(range));
    auto* out = static_cast<uint8_t*>(destination);
    lf::Status status;
    visitRange(*root_, range.location, range.length, [&](const BASlice& slice) {
        if (!status) return;
        status = slice.source->read(out, slice.offset, slice.length);
        out += slice.length;
    });
    return status;
}

lf::Status BABTreeByteArray::forEachSlice(BARange range,
                                          const std::function<void(const BASlice&)>& visit) const {
    std::shared_lock lock(mutex_);
    LF_TRY(checkRange(range));
    visitRange(*root_, range.location, range.length, visit);
    return {};
}

lf::Result<std::shared_ptr<BAByteArray>> BABTreeByteArray::subarray(BARange range) const {
    auto result = std::make_shared<BABTreeByteArray>();
    uint64_t end = 0;
    LF_TRY(forEachSlice(range, [&](const BASlice& slice) {
        result->insertSliceLocked(slice, end);
        end += slice.length;
    }));
    return std::shared_ptr<BAByteArray>(std::move(result));
}

lf::Status BABTreeByteArray::insertByteArray(const BAByteArray& other, uint64_t location) {
    // Collect first: `other` may be this array.
    std::vector<BASlice> slices;
    LF_TRY(other.forEachSlice({0, other.length()},
                              [&](const BASlice& slice) { slices.push_back(slice); }));
    std::unique_lock lock(mutex_);
    LF_TRY(checkRange({location, 0}));
    for (auto& slice : slices) {
        uint64_t length = slice.length;
        insertSliceLocked(std::move(slice), location);
        location += length;
    }
    return {};
}

lf::Status BABTreeByteArray::insertSlice(BASlice slice, uint64_t location) {
    LF_PRECONDITION(slice.source || slice.length == 0, "a slice needs a byte source");
    std::unique_lock lock(mutex_);
    LF_TRY(checkRange({location, 0}));
    insertSliceLocked(std::move(slice), location);
    return {};
}

void BABTreeByteArray::insertSliceLocked(BASlice slice, uint64_t location) {
    if (slice.length == 0) return;
    auto sibling = insertInto(*root_, location, std::move(slice));
    if (!sibling) return;
    auto root = std::make_unique<Node>();
    root->leaf = false;
    root->counts = {root_->total, sibling->total};
    root->total = root_->total + sibling->total;
    root->children.push_back(std::move(root_));
    root->children.push_back(std::move(sibling));
    root_ = std::move(root);
}

size_t BABTreeByteArray::sliceCount() const {
    std::shared_lock lock(mutex_);
    return countSlices(*root_);
}

int BABTreeByteArray::height() const {
    std::shared_lock lock(mutex_);
    int height = 1;
    for (const Node* node = root_.get(); !node->leaf; node = node->children.front().get())
        ++height;
    return height;
}
