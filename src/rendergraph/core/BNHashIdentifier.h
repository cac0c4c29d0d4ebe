#pragma once
// The identity of a render node: a SHA-1 digest of everything that
// determines its output (its class, its inputs' identities, its
// parameters). Equal identities mean equal output for every rectangle and
// scale; the renderer evaluates each distinct identity once per call.
//
// BNHashContext feeds the digest. Values go in as their raw in-memory bytes
// (little-endian on this platform): enumerations and masks as 4 bytes, flags
// as 1 byte, doubles as 8, points as 16 (x then y), colour arrays of five
// doubles as 40, object references as the 8 bytes of their address.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

struct BNHashIdentifier {
    std::array<uint8_t, 20> bytes{};

    friend bool operator==(const BNHashIdentifier&, const BNHashIdentifier&) = default;
    // 40 lower-case hexadecimal digits, first byte first.
    std::string string() const;
};

inline bool BNHashIdentifierEqual(const BNHashIdentifier& a, const BNHashIdentifier& b) {
    return a == b;
}
inline std::string BNHashIdentifierString(const BNHashIdentifier& identifier) {
    return identifier.string();
}

class BNHashContext {
public:
    // A context that starts with the format version: the 32-bit integer 1
    // in little-endian order.
    static BNHashContext create();
    // A context without the version.
    static BNHashContext createUnseeded();

    BNHashContext(BNHashContext&&) noexcept;
    BNHashContext& operator=(BNHashContext&&) noexcept;
    ~BNHashContext();

    void update(const void* bytes, size_t length);
    void updateString(std::string_view text) { update(text.data(), text.size()); }
    void updateIdentifier(const BNHashIdentifier& identifier) {
        update(identifier.bytes.data(), identifier.bytes.size());
    }
    // The address of an object: identity by reference, not by contents.
    void updateAddress(const void* object) {
        auto address = reinterpret_cast<uintptr_t>(object);
        updateValue(static_cast<uint64_t>(address));
    }
    template <typename T>
    void updateValue(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        update(&value, sizeof value);
    }
    // A flag as one byte, 0 or 1.
    void updateFlag(bool flag) {
        uint8_t byte = flag ? 1 : 0;
        update(&byte, 1);
    }

    // The digest; the context is spent afterwards.
    BNHashIdentifier finalize();

private:
    struct State;
    explicit BNHashContext(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};
