// Output names: "@2x" and device modifiers taken apart and built again,
// names confined to the output folder, and numbers and switches written in
// layer names.

#include "flows/recipes/QFResourcePathComponents.h"
#include "flows/recipes/QFStringValues.h"
#include "flows/scanner/RetinaSuffix.h"
#include "flows/shared/QFConfinedPath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ResourcePathComponents, TakesANameApartIntoItsPieces) {
    QFResourcePathComponents name("ui/icons/icon~ipad@2x.png");
    EXPECT_EQ(name.basePath(), "ui/icons");
    EXPECT_EQ(name.baseFileName(), "icon");
    EXPECT_EQ(name.pathExtension(), "png");
    EXPECT_TRUE(name.hasRetinaSuffix());
    EXPECT_EQ(name.deviceModifier(), "ipad");
    // The modifier always comes after "@2x" when the name is built again.
    EXPECT_EQ(name.path(), "ui/icons/icon@2x~ipad.png");

    QFResourcePathComponents plain("Icon.PNG");
    EXPECT_EQ(plain.basePath(), "");
    EXPECT_EQ(plain.pathExtension(), "PNG");
    EXPECT_FALSE(plain.hasRetinaSuffix());
    EXPECT_EQ(plain.path(), "Icon.PNG");
    EXPECT_EQ(QFResourcePathComponents("/abs.png").path(), "/abs.png");
}

TEST(ResourcePathComponents, NeedsANameBeforeAndAWordAfterTheTilde) {
    EXPECT_EQ(RetinaSuffix::deviceModifier("~ipad.png"), "");
    EXPECT_EQ(RetinaSuffix::deviceModifier("icon~.png"), "");
    EXPECT_EQ(RetinaSuffix::deviceModifier("a~b~iphone.png"), "iphone");
    EXPECT_EQ(RetinaSuffix::stringByAppendingRetinaSuffix("~ipad.png"), "~ipad@2x.png");
    EXPECT_EQ(RetinaSuffix::stringByAppendingRetinaSuffix("icon~.png"), "icon~@2x.png");
}

TEST(RetinaSuffix, ChangesOnePieceAndBuildsTheNameAgain) {
    EXPECT_TRUE(RetinaSuffix::hasRetinaSuffix("icon@2x.png"));
    EXPECT_TRUE(RetinaSuffix::hasRetinaSuffix("icon~ipad@2x.png"));
    EXPECT_FALSE(RetinaSuffix::hasRetinaSuffix("icon@2X.png"));
    EXPECT_EQ(RetinaSuffix::stringByRemovingRetinaSuffix("icons/green~ipad@2x.png"),
              "icons/green~ipad.png");
    EXPECT_EQ(RetinaSuffix::stringByAppendingRetinaSuffix("sw/d~iphone.png"), "sw/d@2x~iphone.png");
    EXPECT_EQ(RetinaSuffix::stringByAppendingDeviceModifier("icon@2x.png", "ipad"),
              "icon@2x~ipad.png");
    EXPECT_EQ(RetinaSuffix::stringByRemovingDeviceModifier("icon@2x~ipad.png"), "icon@2x.png");
    // Without an extension the name is still built the same way.
    EXPECT_EQ(RetinaSuffix::stringByAppendingRetinaSuffix("readme"), "readme@2x");
}

TEST(ConfinedPath, KeepsEveryNameInsideTheFolder) {
    using Components = std::vector<std::string>;
    EXPECT_EQ(QFConfinedPathComponents("a.png"), (Components{"a.png"}));
    EXPECT_EQ(QFConfinedPathComponents("/abs.png"), (Components{"abs.png"}));
    EXPECT_EQ(QFConfinedPathComponents("ui//./icons/a.png"), (Components{"ui", "icons", "a.png"}));
    EXPECT_EQ(QFConfinedPathComponents("sub/../ok.png"), (Components{"ok.png"}));
    EXPECT_EQ(QFConfinedPathComponents("a.png/"), (Components{"a.png"}));
    for (const char* refused :
         {"../evil.png", "sub/../../escape.png", "../x/../a.png", "", ".", "/", "a/..", "./"})
        EXPECT_FALSE(QFConfinedPathComponents(refused)) << refused;
    EXPECT_FALSE(QFConfinedPathComponents(std::string("a\0b.png", 7)));
    EXPECT_EQ(QFPathWithComponents({"ui", "a.png"}), "ui/a.png");
}

TEST(StringValues, ReadNumbersAndSwitchesAsWritten) {
    EXPECT_EQ(QFStringDoubleValue("50"), 50);
    EXPECT_EQ(QFStringDoubleValue("  12.5abc"), 12.5);
    EXPECT_EQ(QFStringDoubleValue("+.5"), 0.5);
    EXPECT_EQ(QFStringDoubleValue("-2e1"), -20);
    EXPECT_EQ(QFStringDoubleValue("3e"), 3);
    for (const char* none : {"", "abc", ".", "-", "inf", "nan", "e5"})
        EXPECT_EQ(QFStringDoubleValue(none), 0) << none;
    EXPECT_TRUE(std::isinf(QFStringDoubleValue("1e999")));
    EXPECT_EQ(QFStringDoubleValue("1e-999"), 0);

    for (const char* yes : {"1", "yes", "True", " 007", "-3", "t"})
        EXPECT_TRUE(QFStringBoolValue(yes)) << yes;
    for (const char* no : {"0", "no", "false", "", "000", "off?"})
        EXPECT_FALSE(QFStringBoolValue(no)) << no;
}

}  // namespace
