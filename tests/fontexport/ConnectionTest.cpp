#include "fontexport/PressletXPC.h"
#include "fontexport/XPCConnection.h"
#include "fontexport/XPCMessageCodec.h"
#include "platform/core/Log.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <mutex>
#include <sys/socket.h>

using nlohmann::json;

namespace {

XPCDictionary everyKind() {
    XPCDictionary inner = {{"deep", XPCArray{XPCObject(true), XPCObject(std::string("x"))}}};
    return {{"bool", false},
            {"int", int64_t{-5}},
            {"uint", uint64_t{1} << 63},
            {"double", 0.25},
            {"string", std::string("text\0with nul", 13)},
            {"data", lf::Data::fromString("\x01\x02")},
            {"array", XPCArray{}},
            {"dictionary", inner}};
}

std::vector<uint8_t> encoded(const XPCFrame& frame) {
    auto bytes = XPCEncodeFrame(frame);
    EXPECT_TRUE(bytes);
    return bytes ? *bytes : std::vector<uint8_t>();
}

// Both ends of a socket pair, each behind a connection wrapper.
struct ConnectedPair {
    std::shared_ptr<XPCConnection> client;
    std::shared_ptr<XPCConnection> service;
    ConnectedPair() {
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        client = XPCConnection::create(XPCSocketConnection::adopt(lf::FileDescriptor(ends[0])));
        service = XPCConnection::create(XPCSocketConnection::adopt(lf::FileDescriptor(ends[1])));
    }
};

}  // namespace

TEST(PressletXPC, ConvertsValuesByKind) {
    const std::pair<json, std::optional<XPCObject>> toMessage[] = {
        {json(true), XPCObject(true)},
        {json(7u), XPCObject(uint64_t{7})},
        {json(-3), XPCObject(int64_t{-3})},
        {json(2.5), XPCObject(2.5)},
        {json("s"), XPCObject(std::string("s"))},
        {PressletJSONFromData(lf::Data::fromString("ab")), XPCObject(lf::Data::fromString("ab"))},
        {json::array({1}), std::nullopt},
        {json(nullptr), std::nullopt},
        {json{{"kept", 1}, {"list", json::array()}, {"none", nullptr}},
         XPCObject(XPCDictionary{{"kept", int64_t{1}}})},
    };
    for (const auto& [value, expected] : toMessage)
        EXPECT_EQ(newXPCObject(value), expected) << value;

    json back = dictionaryWithContentsOfXPCDictionary(everyKind());
    EXPECT_FALSE(back.contains("array"));
    EXPECT_TRUE(back["bool"].is_boolean());
    EXPECT_TRUE(back["int"].is_number_integer() && !back["int"].is_number_unsigned());
    EXPECT_EQ(back["uint"].get<uint64_t>(), uint64_t{1} << 63);
    EXPECT_EQ(back["double"].get<double>(), 0.25);
    EXPECT_EQ(back["string"].get<std::string>().size(), 13u);
    EXPECT_EQ(PressletDataFromJSON(back["data"]), lf::Data::fromString("\x01\x02"));
    EXPECT_EQ(back["dictionary"], json::object());  // its only entry was an array
    EXPECT_EQ(newXPCObject(back), XPCObject([] {
                  XPCDictionary d = everyKind();
                  d.erase("array");
                  d["dictionary"] = XPCDictionary{};
                  return d;
              }()));
}

TEST(MessageCodec, RoundTripsFramesArrivingByteByByte) {
    XPCFrame frame{XPCFrameKind::MessageAwaitingReply, 77, everyKind()};
    std::vector<uint8_t> bytes = encoded(frame);
    bytes.insert(bytes.end(), bytes.begin(), bytes.end());  // two frames back to back
    XPCFrameReader reader;
    int frames = 0;
    for (uint8_t byte : bytes) {
        reader.append(&byte, 1);
        auto next = reader.nextFrame();
        ASSERT_TRUE(next);
        if (!*next) continue;
        ++frames;
        EXPECT_EQ((*next)->kind, frame.kind);
        EXPECT_EQ((*next)->messageID, 77u);
        EXPECT_EQ((*next)->body, frame.body);
    }
    EXPECT_EQ(frames, 2);
    EXPECT_FALSE(reader.hasPartialFrame());
}

TEST(MessageCodec, RefusesMalformedFrames) {
    const std::vector<uint8_t> valid = encoded({XPCFrameKind::Message, 1, {{"k", true}}});
    // valid: length(4) kind(1) id(8) 'o' count(4) keylength(4) 'k' 'b' value
    const size_t body = 13, key = body + 5, value = key + 5;
    auto changed = [&](size_t offset, std::vector<uint8_t> bytes) {
        auto copy = valid;
        copy.erase(copy.begin() + static_cast<ptrdiff_t>(offset),
                   copy.begin() + static_cast<ptrdiff_t>(offset + bytes.size()));
        copy.insert(copy.begin() + static_cast<ptrdiff_t>(offset), bytes.begin(), bytes.end());
        return copy;
    };
    auto withLength = [](std::vector<uint8_t> bytes) {
        uint32_t length = static_cast<uint32_t>(bytes.size() - 4);
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<uint8_t>(length >> (8 * i));
        return bytes;
    };
    std::vector<uint8_t> nested = {3, 0, 0, 0, 0, 0, 0, 0, 0};  // kind 3, id 0
    for (int depth = 0; depth <= kXPCMaxDepth; ++depth)
        nested.insert(nested.end(), {'o', 1, 0, 0, 0, 1, 0, 0, 0, 'k'});
    nested.insert(nested.end(), {'o', 0, 0, 0, 0});
    nested.insert(nested.begin(), 4, 0);

    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"length beyond the limit", changed(0, {0xFF, 0xFF, 0xFF, 0x7F})},
        {"length below the header", changed(0, {2, 0, 0, 0})},
        {"unknown kind", changed(4, {9})},
        {"body not a dictionary", changed(body, {'s'})},
        {"count beyond the frame", changed(body + 1, {0xFF, 0xFF, 0, 0})},
        {"key longer than the frame", changed(key, {0x40, 0, 0, 0})},
        {"boolean other than 0 or 1", changed(value + 1, {2})},
        {"unknown value tag", changed(value, {'z'})},
        {"bytes after the body", withLength([&] {
             auto copy = valid;
             copy.push_back(0);
             return copy;
         }())},
        {"repeated key", withLength([&] {
             auto copy = changed(body + 1, {2, 0, 0, 0});
             copy.insert(copy.end(), valid.begin() + key, valid.end());
             return copy;
         }())},
        {"nesting too deep", withLength(nested)},
    };
    for (const auto& [name, bytes] : cases) {
        XPCFrameReader reader;
        reader.append(bytes.data(), bytes.size());
        auto frame = reader.nextFrame();
        ASSERT_FALSE(frame) << name;
        EXPECT_TRUE(frame.error().is(XPCConnectionErrorDomain, XPCConnectionErrorMalformedFrame))
            << name;
    }

    XPCObject deep = XPCDictionary{};
    for (int depth = 0; depth < kXPCMaxDepth; ++depth)
        deep = XPCDictionary{{"k", deep}};
    auto refused = XPCEncodeFrame({XPCFrameKind::Message, 1, {{"k", deep}}});
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().is(XPCConnectionErrorDomain, XPCConnectionErrorMessageTooLarge));
}

TEST(XPCConnection, MessageHandlerAnswersWithTheConvertibleValues) {
    ConnectedPair pair;
    lf::DispatchSemaphore oneWay(0);
    bool oneWayHadReply = true;
    pair.service->setMessageHandler([&](const json& message, json* reply) {
        if (!reply) {
            oneWayHadReply = false;
            oneWay.signal();
            return;
        }
        (*reply)["echo"] = message["text"];
        (*reply)["count"] = 3;
        (*reply)["list"] = json::array({1, 2});
        (*reply)["nothing"] = nullptr;
    });
    pair.service->resume();
    pair.client->resume();

    lf::DispatchSemaphore replied(0);
    json received;
    pair.client->sendMessage({{"text", "hi"}, {"skipped", json::array()}}, [&](const json& reply) {
        received = reply;
        replied.signal();
    });
    ASSERT_TRUE(replied.waitFor(lf::test::kPatience));
    EXPECT_EQ(received, (json{{"echo", "hi"}, {"count", 3}}));
    pair.client->sendMessage({{"one-way", true}});
    ASSERT_TRUE(oneWay.waitFor(lf::test::kPatience));
    EXPECT_FALSE(oneWayHadReply);
}

TEST(XPCConnection, DeliversMessagesInOrderAndOneErrorWhenThePeerGoes) {
    ConnectedPair pair;
    std::mutex mutex;
    std::vector<int> order;
    lf::DispatchSemaphore all(0);
    pair.service->setMessageHandler([&](const json& message, json*) {
        std::lock_guard lock(mutex);
        order.push_back(message["index"].get<int>());
        if (order.size() == 50) all.signal();
    });
    pair.service->resume();
    for (int i = 0; i < 50; ++i)
        pair.client->sendMessage({{"index", i}});
    ASSERT_TRUE(all.waitFor(lf::test::kPatience));
    {
        std::lock_guard lock(mutex);
        for (int i = 0; i < 50; ++i)
            ASSERT_EQ(order[i], i);
    }

    lf::DispatchSemaphore failed(0);
    int errors = 0;
    bool replied = false;
    pair.client->setErrorHandler([&] {
        ++errors;
        failed.signal();
    });
    // A suspended service holds the message back until it is gone.
    pair.service->suspend();
    pair.client->sendMessage({{"unanswered", true}}, [&](const json&) { replied = true; });
    pair.service.reset();
    pair.client->resume();
    ASSERT_TRUE(failed.waitFor(lf::test::kPatience));
    pair.client.reset();
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(replied);
}

TEST(XPCConnection, AMessageThatCannotBeSentEndsTheConnection) {
    lf::LogCapture log;
    ConnectedPair pair;
    lf::DispatchSemaphore failed(0);
    pair.client->setErrorHandler([&] { failed.signal(); });
    json deep = json::object();
    for (int depth = 0; depth < kXPCMaxDepth; ++depth)
        deep = json{{"k", deep}};
    pair.client->sendMessage({{"k", deep}}, [](const json&) {});
    pair.client->resume();
    // Released by the error handler, not left waiting for a reply.
    ASSERT_TRUE(failed.waitFor(lf::test::kPatience));
    EXPECT_TRUE(log.contains("message not sent"));
}
