// The exact boolean operation checked against the operands themselves: at
// many sample points away from the outlines the result must be inside
// exactly where the operation says (and covered exactly once), and its area
// must match Clipper's on fine flattenings of the operands.

#include "GeometryTestSupport.h"
#include "geometry/VKBooleanCompoundPath.h"
#include "geometry/VKCompoundPath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace geometry_test;

namespace {

constexpr const char* kOperationNames[] = {"add", "subtract", "intersect", "exclude"};

// Compares all four operations of a and b with the sampled operands.
void expectExactOperations(const VKCompoundPath& a, const VKCompoundPath& b,
                           const std::string& label, int grid = 40) {
    Sampler sampleA(a), sampleB(b);
    std::shared_ptr<VKCompoundPath> results[4];
    std::vector<Sampler> sampleResults;
    for (int op = 0; op < 4; ++op) {
        results[op] = a.compoundPathByPerformingOperation(op, b);
        sampleResults.emplace_back(*results[op]);
    }
    VKRect bounds = VKRectUnion(a.bounds(), b.bounds());
    if (VKRectIsNull(bounds)) {
        for (int op = 0; op < 4; ++op)
            EXPECT_TRUE(results[op]->paths().empty()) << label;
        return;
    }
    bounds = VKRectInset(bounds, -1, -1);
    const double near = 1e-2 * std::max(1.0, std::max(bounds.size.width, bounds.size.height) / 100);
    int mismatches[4] = {0, 0, 0, 0};
    std::string firstMismatch[4];
    for (int row = 0; row < grid; ++row) {
        double y =
            bounds.origin.y + (row + 0.5 + 0.123 * std::sin(row * 7.1)) * bounds.size.height / grid;
        std::vector<std::pair<double, int>> rowsA[3], rowsB[3];
        for (int k = 0; k < 3; ++k) {
            rowsA[k] = sampleA.crossings(y + (k - 1) * near);
            rowsB[k] = sampleB.crossings(y + (k - 1) * near);
        }
        std::vector<std::pair<double, int>> rowResults[4];
        for (int op = 0; op < 4; ++op)
            rowResults[op] = sampleResults[op].crossings(y);
        for (int column = 0; column < grid; ++column) {
            double x = bounds.origin.x + (column + 0.5 + 0.2 * std::cos(column * 3.7 + row)) *
                                             bounds.size.width / grid;
            bool nearOutline = false;
            for (int k = 0; k < 3 && !nearOutline; ++k)
                for (const auto* crossings : {&rowsA[k], &rowsB[k]})
                    for (const auto& c : *crossings)
                        nearOutline = nearOutline || std::fabs(c.first - x) < near;
            int wa[3], wb[3];
            for (int k = 0; k < 3; ++k) {
                wa[k] = windingFromCrossings(rowsA[k], x);
                wb[k] = windingFromCrossings(rowsB[k], x);
            }
            if (nearOutline || wa[0] != wa[1] || wa[1] != wa[2] || wb[0] != wb[1] || wb[1] != wb[2])
                continue;
            bool inA = insideForRule(a.fillRule(), wa[1]), inB = insideForRule(b.fillRule(), wb[1]);
            for (int op = 0; op < 4; ++op) {
                int winding = windingFromCrossings(rowResults[op], x);
                if (winding != (expectedInside(op, inA, inB) ? 1 : 0)) {
                    if (mismatches[op]++ == 0)
                        firstMismatch[op] = "at (" + std::to_string(x) + ", " + std::to_string(y) +
                                            ") winding " + std::to_string(winding);
                }
            }
        }
    }
    double slack = 3 * (sampleA.perimeter() + sampleB.perimeter()) * 1e-3 + 1e-9;
    for (int op = 0; op < 4; ++op) {
        EXPECT_EQ(mismatches[op], 0)
            << label << " " << kOperationNames[op] << " first " << firstMismatch[op] << "\n A "
            << describe(a) << "\n B " << describe(b) << "\n result " << describe(*results[op]);
        double expectedArea = polygonOperationArea(a, op, b, 1e-3);
        EXPECT_NEAR(signedArea(*results[op]), expectedArea, slack)
            << label << " " << kOperationNames[op] << "\n A " << describe(a) << "\n B "
            << describe(b);
    }
}

}  // namespace

TEST(BooleanOperation, RandomPathsMatchTheirSampling) {
    int cases = randomCaseCount(150);
    for (int i = 0; i < cases; ++i) {
        std::mt19937_64 random(1000 + i);
        auto a = randomCompoundPath(random, i % 2);
        auto b = randomCompoundPath(random, (i / 2) % 2);
        expectExactOperations(*a, *b, "case " + std::to_string(i));
        if (HasFailure()) break;
    }
}
