#include "platform/dispatch/KeyValueObserving.h"
#include "platform/dispatch/MainQueue.h"

#include <gtest/gtest.h>

#include <vector>

using namespace lf;

namespace {

// A flow-like object: a status with a status line that depends on it.
class Observed : public KeyValueObservable {
public:
    Observed() { setKeysAffectingValueForKey("statusLine", {"status", "lastRunDate"}); }
    void setStatus(int value) {
        changeValueForKey("status", [&] { status = value; });
    }
    void nestedChange() {
        willChangeValueForKey("status");
        setStatus(2);
        didChangeValueForKey("status");
    }
    int status = 0;
};

class KeyValueObserving : public ::testing::Test {
protected:
    void SetUp() override { MainQueue::shared()->bindToCurrentThread(); }
};

}  // namespace

TEST_F(KeyValueObserving, ObserversHearEachClosedChangeAndItsDependentKeys) {
    Observed object;
    std::vector<std::string> heard;
    auto status =
        object.addObserver("status", [&](const std::string& key) { heard.push_back(key); });
    auto line = object.addObserver("statusLine", [&](const std::string& key) {
        EXPECT_EQ(object.status, 1);  // told after the change, not before
        heard.push_back(key);
    });
    object.setStatus(1);
    EXPECT_EQ(heard, (std::vector<std::string>{"status", "statusLine"}));

    heard.clear();
    line.reset();
    object.nestedChange();  // nested pairs: one notification when the outer pair closes
    EXPECT_EQ(heard, (std::vector<std::string>{"status"}));
}

TEST_F(KeyValueObserving, InitialObservationAndEndingObservationsWhileNotifying) {
    auto object = std::make_unique<Observed>();
    int first = 0, second = 0;
    Observation secondObservation;
    auto firstObservation = object->addObserver(
        "status",
        [&](const std::string&) {
            ++first;
            secondObservation.reset();  // the later observer is not told
        },
        true);
    EXPECT_EQ(first, 1);
    secondObservation = object->addObserver("status", [&](const std::string&) { ++second; });
    object->setStatus(3);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 0);

    // An observation that outlives its object ends quietly.
    object.reset();
    firstObservation.reset();
}
