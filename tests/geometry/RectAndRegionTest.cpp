// Rectangle functions (with the null and infinite rectangles), their text
// forms, and regions that must cover their area exactly once.

#include "geometry/VKGeometry.h"
#include "geometry/VKGeometryStrings.h"
#include "geometry/VKRegion.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>

TEST(Rect, NullAndInfiniteRectangles) {
    EXPECT_TRUE(VKRectIsNull(VKRectNull));
    EXPECT_TRUE(VKRectIsEmpty(VKRectNull));
    EXPECT_FALSE(VKRectIsFinite(VKRectNull));
    EXPECT_TRUE(VKRectIsNull(VKRectMake(-INFINITY, 3, 5, 5)));
    EXPECT_TRUE(VKRectEqualToRect(VKRectMake(INFINITY, 3, 5, 5), VKRectNull));
    EXPECT_TRUE(VKRectIsInfinite(VKRectInfinite));
    EXPECT_FALSE(VKRectIsFinite(VKRectInfinite));
    EXPECT_FALSE(VKRectIsEmpty(VKRectInfinite));
    EXPECT_EQ(VKRectGetMaxX(VKRectInfinite), DBL_MAX / 2);
    EXPECT_TRUE(VKRectIsEmpty(VKRectMake(1, 1, 0, 5)));
    EXPECT_TRUE(VKRectIsEmpty(VKRectMake(1, 1, std::nan(""), 5)));
    EXPECT_TRUE(VKRectIsFinite(VKRectMake(1, 1, 0, 5)));
}

TEST(Rect, UnionIntersectionAndContainment) {
    VKRect a = VKRectMake(0, 0, 10, 10), b = VKRectMake(5, 5, 10, 10);
    EXPECT_EQ(VKRectUnion(a, b), VKRectMake(0, 0, 15, 15));
    EXPECT_EQ(VKRectUnion(VKRectNull, b), b);
    EXPECT_TRUE(VKRectIsNull(VKRectUnion(VKRectNull, VKRectNull)));
    EXPECT_EQ(VKRectUnion(VKRectMake(20, 20, 0, 0), a),
              VKRectMake(0, 0, 20, 20));  // a point counts
    EXPECT_TRUE(VKRectIsInfinite(VKRectUnion(VKRectInfinite, a)));

    EXPECT_EQ(VKRectIntersection(a, b), VKRectMake(5, 5, 5, 5));
    EXPECT_EQ(VKRectIntersection(a, VKRectMake(10, 0, 5, 5)), VKRectMake(10, 0, 0, 5));  // touching
    EXPECT_TRUE(VKRectIsNull(VKRectIntersection(a, VKRectMake(11, 0, 5, 5))));
    EXPECT_TRUE(VKRectIsNull(VKRectIntersection(a, VKRectNull)));
    EXPECT_EQ(VKRectIntersection(VKRectInfinite, b), b);
    EXPECT_TRUE(VKRectIntersectsRect(a, b));
    EXPECT_FALSE(VKRectIntersectsRect(a, VKRectMake(20, 20, 1, 1)));

    EXPECT_TRUE(VKRectContainsRect(a, VKRectMake(2, 2, 3, 3)));
    EXPECT_FALSE(VKRectContainsRect(a, b));
    EXPECT_TRUE(VKRectContainsRect(a, VKRectNull));
    EXPECT_TRUE(VKRectContainsPoint(a, {0, 0}));
    EXPECT_FALSE(VKRectContainsPoint(a, {10, 5}));
    EXPECT_FALSE(VKRectContainsPoint(VKRectNull, {0, 0}));
}

TEST(Rect, StandardisedEdgesIntegralAndInset) {
    VKRect flipped = VKRectMake(10, 10, -4, -6);
    EXPECT_EQ(VKRectGetMinX(flipped), 6);
    EXPECT_EQ(VKRectGetMaxY(flipped), 10);
    EXPECT_EQ(VKRectGetMidY(flipped), 7);
    EXPECT_EQ(VKRectGetWidth(flipped), 4);
    EXPECT_EQ(VKRectIntegral(VKRectMake(0.5, -0.5, 1, 1.2)), VKRectMake(0, -1, 2, 2));
    EXPECT_TRUE(VKRectIsNull(VKRectIntegral(VKRectNull)));
    EXPECT_EQ(VKRectIntegral(VKRectInfinite), VKRectInfinite);
    EXPECT_EQ(VKRectInset(flipped, 1, 2), VKRectMake(7, 6, 2, 2));
    EXPECT_EQ(VKRectInset(VKRectMake(0, 0, 2, 2), -1, -1), VKRectMake(-1, -1, 4, 4));
    EXPECT_TRUE(VKRectIsNull(VKRectInset(VKRectNull, 1, 1)));
}

TEST(Rect, ValuesServeAsKeys) {
    std::unordered_map<VKRect, int> byRect{{VKRectMake(0, 0, 1, 1), 1}, {VKRectNull, 2}};
    EXPECT_EQ(byRect.at(VKRectMake(0, 0, 1, 1)), 1);
    EXPECT_EQ(byRect.at(VKRectNull), 2);
    std::unordered_set<VKSize> sizes{{16, 16}, {32, 32}, {16, 16}};
    EXPECT_EQ(sizes.size(), 2u);
    EXPECT_TRUE(sizes.count(VKSizeMake(-0.0 + 16, 16)));
    EXPECT_EQ(std::hash<VKPoint>()({0.0, 1}), std::hash<VKPoint>()({-0.0, 1}));
}

namespace {

// Switches the C library to a locale with a decimal comma, as the interface
// does when the user has one, and back when it goes.
class DecimalCommaLocale {
public:
    DecimalCommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
            if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',') return;
        std::setlocale(LC_ALL, previous_.c_str());
        previous_.clear();
    }
    ~DecimalCommaLocale() {
        if (!previous_.empty()) std::setlocale(LC_ALL, previous_.c_str());
    }
    explicit operator bool() const { return !previous_.empty(); }

private:
    std::string previous_;
};

void checkFormsAndParsing() {
    const struct {
        VKPoint point;
        const char* text;
    } points[] = {{{1.5, -2}, "{ 1.5, -2 }"},
                  {{0.25, 1e-7}, "{ 0.25, 1e-07 }"},
                  {{-1234.5, 3.125}, "{ -1234.5, 3.125 }"}};
    for (const auto& c : points) {
        EXPECT_EQ(NSStringFromVKPoint(c.point), c.text);
        EXPECT_EQ(VKPointFromString(c.text), c.point) << c.text;
    }
    EXPECT_EQ(NSStringFromVKPoint({-1234567, 0}), "{ -1.23457e+06, 0 }");  // %g's six digits
    EXPECT_EQ(NSStringFromVKRect(VKRectMake(0.5, 1e20, 3, 4)), "{ { 0.5, 1e+20 }, { 3, 4 } }");
    VKPathSegment s{{1.5, 2}, {5, 6.75}, {7, 8}, {3, -4.5}};
    std::string text = NSStringFromVKPathSegment(s);
    EXPECT_EQ(text, "{ { 1.5, 2 }, { 5, 6.75 }, { 7, 8 }, { 3, -4.5 } }");
    EXPECT_EQ(VKPathSegmentFromString(text), s);
    EXPECT_EQ(VKPointFromString("{3.25,\t-4}\n"), (VKPoint{3.25, -4}));
    EXPECT_EQ(VKPointFromString("garbage"), (VKPoint{0, 0}));
    int read = 0;
    VKPathSegmentFromString("{1, 2}, {3, 4}, {5", &read);
    EXPECT_EQ(read, 5);
}

}  // namespace

TEST(GeometryStrings, FormsAndParsing) {
    checkFormsAndParsing();
}

TEST(GeometryStrings, FormsAndParsingIgnoreADecimalCommaLocale) {
    DecimalCommaLocale locale;
    LF_REQUIRE_INSTALLED(locale, "a locale with a decimal comma (de_DE.UTF-8)");
    checkFormsAndParsing();
}

TEST(Region, SubtractionCoversTheRestExactlyOnce) {
    std::mt19937_64 random(3);
    std::uniform_int_distribution<int> coordinate(-2, 22), extent(0, 12);
    for (int round = 0; round < 200; ++round) {
        auto region = VKRegion::regionWithRect(VKRectMake(0, 0, 20, 20));
        std::vector<VKRect> cuts;
        for (int k = 0; k < 6; ++k) {
            cuts.push_back(
                VKRectMake(coordinate(random), coordinate(random), extent(random), extent(random)));
            region->subtractRect(cuts.back());
        }
        // Count the coverage of every unit cell.
        for (int y = -3; y < 24; ++y) {
            for (int x = -3; x < 24; ++x) {
                VKPoint cell{x + 0.5, y + 0.5};
                int covered = 0;
                region->enumerateRectsUsingBlock(
                    [&](VKRect r, size_t, bool*) { covered += VKRectContainsPoint(r, cell); });
                bool expected = VKRectContainsPoint(VKRectMake(0, 0, 20, 20), cell);
                for (const VKRect& cut : cuts)
                    expected = expected && !VKRectContainsPoint(cut, cell);
                ASSERT_EQ(covered, expected ? 1 : 0)
                    << "round " << round << " cell " << x << "," << y;
            }
        }
    }
}

TEST(Region, EmptyAndBadRectangles) {
    EXPECT_TRUE(VKRegion::regionWithRect(VKRectNull)->isEmpty());
    EXPECT_TRUE(VKRegion::regionWithRect(VKRectMake(0, 0, 0, 5))->isEmpty());
    EXPECT_TRUE(VKRegion::regionWithRect(VKRectMake(std::nan(""), 0, 5, 5))->isEmpty());
    auto region = VKRegion::regionWithRect(VKRectMake(0, 0, 10, 10));
    region->subtractRect(VKRectMake(std::nan(""), 0, 5, 5));
    region->subtractRect(VKRectNull);
    EXPECT_EQ(region->rects().size(), 1u);
    region->subtractRect(VKRectInfinite);
    EXPECT_TRUE(region->isEmpty());

    auto whole = VKRegion::regionWithRect(VKRectMake(0, 0, 10, 10));
    whole->subtractRect(VKRectMake(4, 4, 2, 2));
    size_t visited = 0;
    whole->enumerateRectsUsingBlock([&](VKRect, size_t index, bool* stop) {
        EXPECT_EQ(index, visited++);
        *stop = index == 1;
    });
    EXPECT_EQ(visited, 2u);
}
