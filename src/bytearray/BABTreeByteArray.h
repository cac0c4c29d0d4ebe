#pragma once
// BABTreeByteArray: a byte array kept as a counted B-tree of slices. Each
// inner node records the byte count under each child, so finding the slice
// of an offset, inserting a slice and splitting one are O(log n) in the
// number of slices; copying a range visits only the slices it covers.

#include "bytearray/BAByteArray.h"
#include "platform/files/Data.h"

#include <memory>
#include <shared_mutex>
#include <string>

class BABTreeByteArray final : public BAByteArray {
public:
    BABTreeByteArray();
    explicit BABTreeByteArray(lf::Data data);
    ~BABTreeByteArray() override;

    // A byte array of the whole file as it is now, read on demand.
    static lf::Result<std::shared_ptr<BABTreeByteArray>> createWithFile(const std::string& path);

    uint64_t length() const override;
    lf::Status copyBytes(void* destination, BARange range) const override;
    lf::Result<std::shared_ptr<BAByteArray>> subarray(BARange range) const override;
    lf::Status forEachSlice(BARange range,
                            const std::function<void(const BASlice&)>& visit) const override;
    lf::Status insertByteArray(const BAByteArray& other, uint64_t location) override;
    lf::Status insertSlice(BASlice slice, uint64_t location) override;

    // Number of slices and height of the tree (for tests).
    size_t sliceCount() const;
    int height() const;

    struct Node;

private:
    lf::Status checkRange(BARange range) const;  // caller holds mutex_
    void insertSliceLocked(BASlice slice, uint64_t location);

    mutable std::shared_mutex mutex_;
    std::unique_ptr<Node> root_;
};
