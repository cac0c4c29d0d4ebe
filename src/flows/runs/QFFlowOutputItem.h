#pragma once
// QFFlowOutputItem: one file of a run's output, its path relative to the
// output folder (as components) and its contents.
//
// The path is fixed at creation; the data may be replaced. An item is
// filled by the run's thread and read once the run has ended.

#include "platform/files/Data.h"

#include <string>
#include <vector>

class QFFlowOutputItem {
public:
    explicit QFFlowOutputItem(std::vector<std::string> pathComponents)
        : pathComponents_(std::move(pathComponents)) {}

    const std::vector<std::string>& pathComponents() const { return pathComponents_; }
    const lf::Data& data() const { return data_; }
    void setData(lf::Data data) { data_ = std::move(data); }

private:
    const std::vector<std::string> pathComponents_;
    lf::Data data_;
};
