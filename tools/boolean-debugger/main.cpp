// boolean-debugger [add|subtract|intersect|exclude]: opens the boolean
// operation debugger and runs one exact boolean operation of two
// overlapping shapes (a rounded square with a hole, and a circle) on a
// worker thread, so that the window stays responsive while the operation
// waits for each step. The result is logged when the operation is done.

#include "debugger/QFBooleanDebugger.h"
#include "geometry/VKCompoundPath.h"
#include "geometry/VKGeometryStrings.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"

#include <QApplication>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

namespace {

// A closed path through the corners with straight segments.
std::shared_ptr<const VKPath> polygon(std::initializer_list<VKPoint> corners) {
    std::vector<VKKnot> knots;
    for (VKPoint corner : corners)
        knots.push_back(VKKnot::corner(corner));
    return std::make_shared<VKPath>(std::move(knots), true);
}

// A circle of four cubic arcs.
std::shared_ptr<const VKPath> circle(VKPoint centre, double radius) {
    const double k = 0.5522847498 * radius;
    const VKPoint c = centre;
    return std::make_shared<VKPath>(
        std::vector<VKKnot>{
            {{c.x - k, c.y - radius}, {c.x, c.y - radius}, {c.x + k, c.y - radius}, 1},
            {{c.x + radius, c.y - k}, {c.x + radius, c.y}, {c.x + radius, c.y + k}, 1},
            {{c.x + k, c.y + radius}, {c.x, c.y + radius}, {c.x - k, c.y + radius}, 1},
            {{c.x - radius, c.y + k}, {c.x - radius, c.y}, {c.x - radius, c.y - k}, 1},
        },
        true);
}

std::optional<VKBooleanOperation> operationNamed(const char* name) {
    const char* const names[] = {"add", "subtract", "intersect", "exclude"};
    for (int i = 0; i < 4; ++i)
        if (std::strcmp(name, names[i]) == 0) return VKBooleanOperation(i);
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<VKBooleanOperation> operation =
        argc > 1 ? operationNamed(argv[1]) : VKBooleanOperationAdd;
    if (!operation) {
        lf::log("usage: boolean-debugger [add|subtract|intersect|exclude]");
        return 2;
    }
    QApplication application(argc, argv);

    const VKCompoundPath a({polygon({{20, 20}, {220, 20}, {220, 220}, {20, 220}}),
                            polygon({{80, 80}, {80, 160}, {160, 160}, {160, 80}})});
    const VKCompoundPath b({circle({230, 140}, 90)});

    auto debugger = std::make_shared<QFBooleanDebugger>();
    debugger->window()->show();

    std::atomic<bool> finished = false;
    std::thread worker([&, debugger] {
        auto result = a.compoundPathByPerformingOperation(*operation, b, debugger);
        lf::log("result: {} paths, bounds {}", result->paths().size(),
                NSStringFromVKRect(result->bounds()));
        finished = true;
    });

    const int status = application.exec();
    // Closing the window released the operation; it may still wait for the
    // main thread once before it ends.
    debugger->windowWillClose();
    lf::MainQueue::shared()->runUntil([&] { return finished.load(); });
    worker.join();
    return status;
}
