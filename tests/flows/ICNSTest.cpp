// The ICNS container: the run-length packets, the payloads of each size,
// the file layout, reading files back (also damaged ones), and an
// independent reader (icnsutils' icns2png) listing what we write.

#include "FlowsTestSupport.h"
#include "flows/icns/ICNSPackBits.h"
#include "flows/icns/QFICNSContainer.h"
#include "platform/images/RGBABuffer.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>

namespace {

using namespace flows_test;
using ICNSPackBits::ICNSRLE24_decodeWithMaximumLength;
using ICNSPackBits::ICNSRLE24_encode;

std::vector<uint8_t> bytesOf(const lf::Data& data) {
    return {data.bytes(), data.bytes() + data.size()};
}

std::vector<uint8_t> encode(const std::vector<uint8_t>& bytes) {
    return bytesOf(ICNSRLE24_encode(bytes));
}

std::shared_ptr<QFICNSElement> element(double side, std::array<uint8_t, 4> colour) {
    auto element = std::make_shared<QFICNSElement>();
    element->setSize({side, side});
    std::vector<uint8_t> pixels;
    for (int i = 0; i < side * side; ++i)
        pixels.insert(pixels.end(), colour.begin(), colour.end());
    element->setPixelData(lf::Data(std::move(pixels)));
    return element;
}

// Pixels that vary everywhere, with some transparency.
std::shared_ptr<QFICNSElement> patternElement(double side) {
    auto element = std::make_shared<QFICNSElement>();
    element->setSize({side, side});
    std::vector<uint8_t> pixels;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            pixels.insert(pixels.end(), {uint8_t(x * 7), uint8_t(y * 3), uint8_t(x ^ y),
                                         uint8_t(x < side / 2 ? 255 : 128)});
    element->setPixelData(lf::Data(std::move(pixels)));
    return element;
}

TEST(ICNSPackBits, EncodesLiteralsAndRunsAsTheFormatCountsThem) {
    EXPECT_EQ(encode({}), std::vector<uint8_t>{});
    EXPECT_EQ(encode({1, 2, 3, 4, 5}), (std::vector<uint8_t>{4, 1, 2, 3, 4, 5}));
    EXPECT_EQ(encode(std::vector<uint8_t>(7, 9)), (std::vector<uint8_t>{132, 9}));
    EXPECT_EQ(encode({'A', 'A', 'B', 'B', 'B'}), (std::vector<uint8_t>{1, 'A', 'A', 128, 'B'}));
    EXPECT_EQ(encode(std::vector<uint8_t>(200, 7)), (std::vector<uint8_t>{255, 7, 195, 7}));
    EXPECT_EQ(encode({5, 5}), (std::vector<uint8_t>{1, 5, 5}));

    std::vector<uint8_t> distinct(129);
    std::iota(distinct.begin(), distinct.end(), 0);
    std::vector<uint8_t> packed = encode(distinct);
    ASSERT_EQ(packed.size(), 131u);
    EXPECT_EQ(packed[0], 127);
    EXPECT_EQ(packed[129], 0);
    EXPECT_EQ(packed[130], 128);

    // The byte that fills the literal buffer is written as a literal even
    // where it starts a run.
    std::vector<uint8_t> filled(126);
    std::iota(filled.begin(), filled.end(), 0);
    filled.insert(filled.end(), {200, 200, 200, 200});
    packed = encode(filled);
    EXPECT_EQ(packed[0], 127);  // 126 distinct and two of the 200s
    EXPECT_EQ((std::vector<uint8_t>(packed.begin() + 129, packed.end())),
              (std::vector<uint8_t>{1, 200, 200}));
}

TEST(ICNSPackBits, DecodesWhatItEncodesWithinTheInputAndTheMaximum) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 5000; ++i)
        bytes.push_back(uint8_t((i / 37) % 3 == 0 ? i : i / 300));
    lf::Data packed = ICNSRLE24_encode(bytes);
    EXPECT_LE(packed.size(), bytes.size() + (bytes.size() + 126) / 127);
    EXPECT_EQ(bytesOf(ICNSRLE24_decodeWithMaximumLength(packed.span(), bytes.size())), bytes);
    EXPECT_EQ(bytesOf(ICNSRLE24_decodeWithMaximumLength(packed.span(), 100)),
              std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100));

    // Input that ends inside a packet: a literal gives what is there, a run
    // header without its value ends the input.
    const std::vector<uint8_t> shortLiteral{9, 1, 2, 3};
    EXPECT_EQ(bytesOf(ICNSRLE24_decodeWithMaximumLength(shortLiteral, 100)),
              (std::vector<uint8_t>{1, 2, 3}));
    const std::vector<uint8_t> lonelyRun{0, 4, 200};
    EXPECT_EQ(bytesOf(ICNSRLE24_decodeWithMaximumLength(lonelyRun, 100)),
              (std::vector<uint8_t>{4}));
}

TEST(ICNSElement, ASmallOpaqueIconOfOneColourHasExactlyTheStatedSize) {
    auto icon = element(16, {10, 20, 30, 255});
    auto payloads = icon->keyedPayloads();
    ASSERT_TRUE(payloads);
    EXPECT_EQ(bytesOf(payloads->at(QFICNSTypeCode("s8mk"))), std::vector<uint8_t>(256, 255));
    EXPECT_EQ(bytesOf(payloads->at(QFICNSTypeCode("is32"))),
              (std::vector<uint8_t>{255, 10, 251, 10, 255, 20, 251, 20, 255, 30, 251, 30}));
    QFICNSContainer container;
    container.addElement(icon);
    EXPECT_EQ(container.ICNSRepresentation().size(), 316u);
    EXPECT_EQ(QFICNSContainer().ICNSRepresentation().size(), 16u);
}

TEST(ICNSElement, PayloadsFollowTheFormatTable) {
    auto large = element(128, {1, 2, 3, 4})->keyedPayloads();
    ASSERT_TRUE(large);
    const lf::Data& it32 = large->at(QFICNSTypeCode("it32"));
    EXPECT_EQ((std::vector<uint8_t>(it32.bytes(), it32.bytes() + 4)), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(element(32, {1, 2, 3, 4})->keyedPayloads()->at(QFICNSTypeCode("il32")).bytes()[0],
              255);
    auto png = element(256, {1, 2, 3, 4})->keyedPayloads();
    ASSERT_TRUE(png);
    EXPECT_EQ(png->size(), 1u);
    EXPECT_EQ(png->at(QFICNSTypeCode("ic08")).stringView().substr(1, 3), "PNG");

    EXPECT_FALSE(element(48, {1, 2, 3, 4})->keyedPayloads());
    auto wrongLength = element(16, {1, 2, 3, 4});
    wrongLength->setPixelData(lf::Data(std::vector<uint8_t>(16 * 16 * 4 - 1)));
    EXPECT_FALSE(wrongLength->keyedPayloads());
    EXPECT_FALSE(wrongLength->hasPayloads());
}

TEST(ICNSContainer, KeepsOneElementPerSize) {
    QFICNSContainer container;
    auto first = element(32, {1, 1, 1, 255}), second = element(32, {2, 2, 2, 255});
    container.addElement(first);
    container.addElement(element(16, {3, 3, 3, 255}));
    container.addElement(second);
    ASSERT_EQ(container.elements().size(), 2u);
    EXPECT_EQ(container.elements()[1], second);
    container.addElement(element(48, {1, 2, 3, 4}));
    // The 48 element has no payloads and does not appear in the file.
    auto read = QFICNSContainer::create(container.ICNSRepresentation());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->elements().size(), 2u);
}

TEST(ICNSContainer, ReadsBackEveryElementItWrites) {
    QFICNSContainer container;
    for (double side : {16.0, 32.0, 128.0, 256.0, 512.0})
        container.addElement(patternElement(side));
    lf::Data file = container.ICNSRepresentation();
    auto read = QFICNSContainer::create(file);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->elements().size(), 5u);
    for (const auto& written : container.elements()) {
        auto same = std::find_if(read->elements().begin(), read->elements().end(),
                                 [&](const auto& e) { return e->size() == written->size(); });
        ASSERT_NE(same, read->elements().end());
        EXPECT_EQ((*same)->pixelData(), written->pixelData()) << written->description();
    }
}

TEST(ICNSContainer, RefusesOrCutsShortDamagedFiles) {
    QFICNSContainer container;
    container.addElement(element(16, {10, 20, 30, 255}));
    container.addElement(element(128, {10, 20, 30, 255}));
    std::vector<uint8_t> file = bytesOf(container.ICNSRepresentation());

    EXPECT_FALSE(QFICNSContainer::create(lf::Data(std::vector<uint8_t>{'i', 'c', 'n'})));
    std::vector<uint8_t> notIcns = file;
    notIcns[0] = 'x';
    EXPECT_FALSE(QFICNSContainer::create(lf::Data(notIcns)));
    std::vector<uint8_t> tooLong = file;
    tooLong[4] = 0x7f;  // total length past the data
    EXPECT_FALSE(QFICNSContainer::create(lf::Data(tooLong)));

    // Every truncation reads without reading outside the data.
    for (size_t length = 8; length < file.size(); length += 7) {
        std::vector<uint8_t> cut(file.begin(), file.begin() + length);
        cut[4] = cut[5] = cut[6] = 0;
        cut[7] = 8;
        EXPECT_TRUE(QFICNSContainer::create(lf::Data(cut))) << length;
    }
    // A record length below its header ends the walk; an "it32" payload
    // shorter than its leading zeros is no element.
    std::vector<uint8_t> standStill = file;
    standStill[8 + 7] = 4;
    auto read = QFICNSContainer::create(lf::Data(standStill));
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->elements().empty());
    std::vector<uint8_t> records{'i', 'c', 'n', 's', 0,   0,   0,   0, 't', '8', 'm', 'k', 0,
                                 0,   0,   8,   'i', 't', '3', '2', 0, 0,   0,   10,  0,   0};
    records[7] = uint8_t(records.size());
    read = QFICNSContainer::create(lf::Data(records));
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->elements().empty());
}

TEST(ICNSContainer, AnIndependentReaderListsEveryElement) {
    LF_REQUIRE_INSTALLED(std::system("command -v icns2png >/dev/null 2>&1") == 0,
                         "icns2png (icnsutils)");
    QFICNSContainer container;
    for (double side : {16.0, 32.0, 128.0, 256.0, 512.0, 1024.0})
        container.addElement(patternElement(side));
    lf::test::TemporaryDirectory folder;
    lf::test::writeFile(folder / "app.icns",
                        std::string(container.ICNSRepresentation().stringView()));
    auto [status, listing] = lf::test::runCommand("icns2png -l " + (folder / "app.icns").string());
    EXPECT_EQ(status, 0) << listing;
    for (const char* type :
         {"s8mk", "is32", "l8mk", "il32", "t8mk", "it32", "ic08", "ic09", "ic10"})
        EXPECT_NE(listing.find(type), std::string::npos) << type << " missing from:\n" << listing;

    // And extracts the pixels of every size as we wrote them.
    auto [extracted, log] =
        lf::test::runCommand("cd " + folder.path().string() + " && icns2png -x app.icns");
    EXPECT_EQ(extracted, 0) << log;
    for (const auto& written : container.elements()) {
        auto side = static_cast<int>(written->size().width);
        auto image = decodeImageFile(folder / fmt::format("app_{0}x{0}x32.png", side));
        ASSERT_TRUE(image) << log;
        std::vector<uint8_t> expected = bytesOf(written->pixelData());
        lf::premultiplyRGBA(expected.data(), expected.data(), expected.size() / 4);
        EXPECT_EQ(image->pixels, expected) << side;
    }
}

}  // namespace
