// The tag grammar on layer names: which layers are tagged, which outputs
// each name asks for (path, rectangle, scale, halving, replacing), folders,
// switches, "@bounds", "@slices" and the icon size chosen for an ICNS name.

#include "FlowsTestSupport.h"
#include "flows/scanner/QFPSDScanner.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace flows_test;

struct Output {
    VKRect rect;
    double scale;
    bool downSample;
    bool replace;
    bool operator==(const Output&) const = default;
};
using Outputs = std::map<std::string, Output>;

void PrintTo(const Output& o, std::ostream* os) {
    *os << NSStringFromVKRect(o.rect) << " scale " << o.scale << (o.downSample ? " halved" : "")
        << (o.replace ? " replacing" : "");
}

Outputs outputsOf(const QFPSDScanner& scanner) {
    Outputs outputs;
    for (const auto& recipe : scanner.imageRecipes())
        for (const auto& e : recipe->entries())
            outputs[e.path] = {e.rect, e.scaleFactor, e.shouldDownSample,
                               e.shouldReplaceExistingItems};
    return outputs;
}

// The outputs of documents of 100 by 100 pixels, scanned by one scanner.
Outputs scan(const std::vector<std::vector<TestNode>>& documents,
             const nlohmann::json& defaults = nlohmann::json::object()) {
    ScopedUserDefaults scoped(defaults);
    QFPSDScanner scanner;
    for (const auto& layers : documents) {
        auto document = buildDocument(100, 100, layers);
        EXPECT_TRUE(document && scanner.scanPSD(*document));
    }
    return outputsOf(scanner);
}

Outputs scanNames(const std::vector<std::string>& names,
                  const nlohmann::json& defaults = nlohmann::json::object()) {
    std::vector<TestNode> layers;
    for (const auto& name : names)
        layers.push_back(layer(name, 10, 20, 30, 40));
    return scan({layers}, defaults);
}

const VKRect kRect = VKRectMake(10, 20, 30, 40);
const Output kMain{kRect, 1.0, false, true};
const Output kAuto1x{kRect, 1.0, true, false};
const Output kAuto2x{kRect, 2.0, false, false};

TEST(TagScanner, TagsANameByTheExtensionOfTheWholeName) {
    EXPECT_EQ(scanNames({"Icon.PNG"}), (Outputs{{"Icon.PNG", kMain}}));
    EXPECT_EQ(scanNames({"a.png, b.pdf", "notes.txt", "photo.psd", "logo.gif", "a.png.bak"}),
              Outputs{});
    EXPECT_EQ(scanNames({"b.pdf, a.png"}), (Outputs{{"b.pdf", kMain}, {"a.png", kMain}}));
    EXPECT_EQ(scanNames({"x.jpeg, y.TIFF, z.tif, w.JPG"}),
              (Outputs{{"x.jpeg", kMain}, {"y.TIFF", kMain}, {"z.tif", kMain}, {"w.JPG", kMain}}));
}

TEST(TagScanner, RetinaNamesGetTheirCopies) {
    EXPECT_EQ(scanNames({"icon@2x.png"}), (Outputs{{"icon@2x.png", kMain}, {"icon.png", kAuto1x}}));
    Outputs plus2x{{"icon.png", kMain}, {"icon@2x.png", kAuto2x}};
    EXPECT_EQ(scanNames({"icon.png+@2x"}), plus2x);
    EXPECT_EQ(scanNames({"icon.png+@2x"}, {{"QFAuto2xEnabled", true}}), plus2x);
    EXPECT_EQ(scanNames({"icon.png"}, {{"QFAuto2xEnabled", true}}), plus2x);
    EXPECT_EQ(scanNames({"icon@2x.png"}, {{"QFAuto1xDisabled", true}}),
              (Outputs{{"icon@2x.png", kMain}}));
    // "~device" after "@2x": the copy's name puts the modifier last.
    EXPECT_EQ(scanNames({"green~ipad@2x.png"}),
              (Outputs{{"green~ipad@2x.png", kMain}, {"green~ipad.png", kAuto1x}}));
    EXPECT_EQ(scanNames({"d~iphone.png"}, {{"QFAuto2xEnabled", true}}),
              (Outputs{{"d~iphone.png", kMain}, {"d@2x~iphone.png", kAuto2x}}));
}

TEST(TagScanner, ANameWrittenOutWinsOverAnAutomaticCopy) {
    EXPECT_EQ(scanNames({"icon.png, icon.png"}), (Outputs{{"icon.png", kMain}}));
    EXPECT_EQ(scanNames({"icon@2x.png, icon.png"}),
              (Outputs{{"icon@2x.png", kMain}, {"icon.png", kMain}}));
    EXPECT_EQ(scanNames({"icon.png, icon@2x.png"}),
              (Outputs{{"icon@2x.png", kMain}, {"icon.png", kMain}}));
}

TEST(TagScanner, APercentageRendersAtTwiceItsScaleAndTakesNoCopies) {
    // 50 %: rendered at 1 and halved, so half the layer's size.
    Output half{kRect, 1.0, true, true};
    EXPECT_EQ(scanNames({"50% icon.png"}, {{"QFAuto2xEnabled", true}}),
              (Outputs{{"icon.png", half}}));
    EXPECT_EQ(scanNames({"50% icon@2x.png"}), (Outputs{{"icon@2x.png", half}}));
    EXPECT_EQ(scanNames({"50% icon.png+@2x"}), (Outputs{{"icon.png", half}}));
    EXPECT_EQ(scanNames({"200% big.png"}), (Outputs{{"big.png", {kRect, 2.0, false, true}}}));
    EXPECT_EQ(scanNames({"12.5% a.png"}), (Outputs{{"a.png", {kRect, 0.25, true, true}}}));
    // Not percentages: no space after "%", a space before it, no number.
    EXPECT_EQ(scanNames({"50%icon.png"}), (Outputs{{"50%icon.png", kMain}}));
    EXPECT_EQ(scanNames({"50 % a.png"}), (Outputs{{"50 % a.png", kMain}}));
    EXPECT_EQ(scanNames({"x% a.png"}), (Outputs{{"x% a.png", kMain}}));
    EXPECT_EQ(scanNames({"0% a.png"}), (Outputs{{"0% a.png", kMain}}));
}

TEST(TagScanner, GroupsEndingInASlashAreFoldersOfImagesOnly) {
    Outputs outputs = scan({{group("ui/", {group("assets/", {layer("button.png", 10, 20, 30, 40),
                                                             layer("app.icns", 0, 0, 16, 16)})}),
                             group("plain", {layer("x.png", 10, 20, 30, 40)})}});
    EXPECT_EQ(outputs, (Outputs{{"ui/assets/button.png", kMain}, {"x.png", kMain}}));

    ScopedUserDefaults defaults;
    QFPSDScanner scanner;
    auto document = buildDocument(100, 100, {group("ui/", {layer("app.icns", 0, 0, 16, 16)})});
    ASSERT_TRUE(scanner.scanPSD(*document));
    ASSERT_EQ(scanner.iconRecipes().size(), 1u);
    EXPECT_EQ(scanner.iconRecipes()[0]->path(), "app.icns");
}

TEST(TagScanner, SwitchesHoldForTheirListAndBelowAndTheirDocument) {
    // "qf-auto-1x = off" inside a group: no 1x copies there, before and after
    // the switch, but outside as usual.
    Outputs outputs = scan(
        {{layer("top@2x.png", 10, 20, 30, 40),
          group("g", {layer("before@2x.png", 10, 20, 30, 40), layer("qf-auto-1x = off", 0, 0, 1, 1),
                      layer("after@2x.png", 10, 20, 30, 40)}),
          layer("above@2x.png", 10, 20, 30, 40)}});
    EXPECT_EQ(outputs, (Outputs{{"top@2x.png", kMain},
                                {"top.png", kAuto1x},
                                {"before@2x.png", kMain},
                                {"after@2x.png", kMain},
                                {"above@2x.png", kMain},
                                {"above.png", kAuto1x}}));

    // "qf-auto-2x = 1" holds for the rest of its document, not for the next.
    outputs = scan({{layer("+@2x = 1", 0, 0, 1, 1), layer("a.png", 10, 20, 30, 40)},
                    {layer("b.png", 10, 20, 30, 40)}});
    EXPECT_EQ(outputs, (Outputs{{"a.png", kMain}, {"a@2x.png", kAuto2x}, {"b.png", kMain}}));

    // Names without "=", other keys, and values that are not "on" read as
    // the platform reads a switch.
    outputs = scan({{layer("qf-auto-2x", 0, 0, 1, 1), layer("qf-other = on", 0, 0, 1, 1),
                     layer("a.png", 10, 20, 30, 40)}});
    EXPECT_EQ(outputs, (Outputs{{"a.png", kMain}}));
    outputs = scan({{layer("qf-auto-2x = yes", 0, 0, 1, 1), layer("a.png", 10, 20, 30, 40)}},
                   {{"QFAuto2xEnabled", false}});
    EXPECT_EQ(outputs, (Outputs{{"a.png", kMain}, {"a@2x.png", kAuto2x}}));
}

TEST(TagScanner, BoundsLayerFixesATaggedGroupsRectangle) {
    ScopedUserDefaults defaults;
    QFPSDScanner scanner;
    auto document = buildDocument(
        100, 100,
        {group("card.png", {layer("art", 5, 5, 50, 50), layer("@bounds", 10, 20, 30, 40)})});
    ASSERT_TRUE(scanner.scanPSD(*document));
    ASSERT_EQ(scanner.imageRecipes().size(), 1u);
    const auto& recipe = *scanner.imageRecipes()[0];
    EXPECT_FALSE(recipe.shouldTrimTransparency());
    ASSERT_EQ(recipe.layersToHide().size(), 1u);
    EXPECT_EQ(recipe.layersToHide()[0]->name(), "@bounds");
    EXPECT_EQ(outputsOf(scanner), (Outputs{{"card.png", kMain}}));
}

TEST(TagScanner, SlicesNameRectanglesOverTheLayersAroundThem) {
    ScopedUserDefaults defaults;
    QFPSDScanner scanner;
    auto document = buildDocument(
        100, 100,
        {layer("background", 0, 0, 100, 100),
         group("@slices", {layer("a.png", 0, 0, 10, 10), layer("b@2x.png", 10, 20, 30, 40),
                           layer("c.gif", 1, 1, 1, 1)})});
    ASSERT_TRUE(scanner.scanPSD(*document));
    ASSERT_EQ(scanner.imageRecipes().size(), 1u);
    const auto& recipe = *scanner.imageRecipes()[0];
    EXPECT_EQ(recipe.layers().size(), 2u);  // the whole top-level list
    EXPECT_FALSE(recipe.shouldTrimTransparency());
    EXPECT_EQ(outputsOf(scanner), (Outputs{{"a.png", {VKRectMake(0, 0, 10, 10), 1, false, true}},
                                           {"b@2x.png", kMain},
                                           {"b.png", kAuto1x},
                                           {"c.gif", {VKRectMake(1, 1, 1, 1), 1, false, true}}}));
}

TEST(TagScanner, BoundsOfGroupsCountTheirUnclippedLayers) {
    ScopedUserDefaults defaults;
    QFPSDScanner scanner;
    TestNode clipped = layer("clipped", 0, 0, 50, 50);
    clipped.clipping = 1;
    TestNode hidden = layer("hidden", 60, 60, 10, 10);
    hidden.visible = false;
    auto document = buildDocument(100, 100,
                                  {group("only clipped", {clipped}),
                                   group("both", {layer("base", 10, 10, 5, 5), clipped, hidden}),
                                   layer("outside", -10, 90, 30, 30)});
    ASSERT_TRUE(scanner.scanPSD(*document));
    EXPECT_TRUE(VKRectIsNull(scanner.calculateBoundsForLayer(*document->layers()[0], true)));
    EXPECT_EQ(scanner.calculateBoundsForLayer(*document->layers()[1], true),
              VKRectMake(10, 10, 60, 60));
    // Within the canvas.
    EXPECT_EQ(scanner.calculateBoundsForLayer(*document->layers()[2], true),
              VKRectMake(0, 90, 20, 10));
}

TEST(TagScanner, IconNamesChooseOneSizeAndHowToFitIt) {
    struct Case {
        int width, height;
        double size;
        int64_t behavior;
    };
    const Case cases[] = {
        {16, 16, 16, QFIconExportRecipe::automatic},     // exactly a size
        {10, 12, 16, QFIconExportRecipe::centre},        // below the smallest
        {50, 29, 32, QFIconExportRecipe::automatic},     // well below 128: scaled down to 32
        {110, 90, 128, QFIconExportRecipe::centre},      // at least 0.8 of 128
        {600, 300, 512, QFIconExportRecipe::automatic},  // below 0.8 of 1024: scaled to 512
        {2000, 100, 1024, QFIconExportRecipe::scale},    // above the largest
    };
    for (const Case& c : cases) {
        ScopedUserDefaults defaults;
        QFPSDScanner scanner;
        auto document = buildDocument(3000, 3000, {layer("app.icns", 0, 0, c.width, c.height)});
        ASSERT_TRUE(scanner.scanPSD(*document));
        ASSERT_EQ(scanner.iconRecipes().size(), 1u);
        const auto& recipe = *scanner.iconRecipes()[0];
        SCOPED_TRACE(c.width);
        EXPECT_EQ(recipe.iconSizes(), (std::vector<VKSize>{{c.size, c.size}}));
        EXPECT_EQ(recipe.sizingBehaviors(), (std::vector<int64_t>{c.behavior}));
        EXPECT_EQ(recipe.rect(), VKRectMake(0, 0, c.width, c.height));
    }
}

}  // namespace
