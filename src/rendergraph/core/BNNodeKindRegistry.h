#pragma once
// The node kinds of the render graph, in place of a run-time class list.
//
// C++ cannot list a program's classes, so every node class is entered here
// once, by type. The class-level developer checks of BNRenderNode
// (subclasses, searchForUnimplementedHashMethods) walk this list. Whether a
// kind feeds its own parameters into the identity is read from its type
// when it is entered: a class that neither declares updateHashContext nor
// inherits it from a base other than BNRenderNode has only the class name
// in its identity.
//
// A registry is an immutable value; renderGraph() is the one of this
// library's node classes, made once and safe to read from any thread.

#include "rendergraph/core/BNRenderNode.h"

#include <string_view>
#include <type_traits>
#include <vector>

struct BNNodeKind {
    std::string_view name;
    bool hasOwnIdentity = false;

    template <typename Node>
    static constexpr BNNodeKind of(std::string_view name) {
        static_assert(std::is_base_of_v<BNRenderNode, Node>, "not a render node class");
        using BaseHook = void (BNRenderNode::*)(BNHashContext&) const;
        return {name, !std::is_same_v<decltype(&Node::updateHashContext), BaseHook>};
    }
};

// The kind of a node class, named as the class is.
#define BN_NODE_KIND(Node) BNNodeKind::of<Node>(#Node)

class BNNodeKindRegistry {
public:
    explicit BNNodeKindRegistry(std::vector<BNNodeKind> kinds) : kinds_(std::move(kinds)) {}

    // Every node class of the render graph.
    static const BNNodeKindRegistry& renderGraph();

    const std::vector<BNNodeKind>& kinds() const { return kinds_; }
    // The kinds whose name begins with "BN", in registry order: every
    // concrete node class stands directly below BNRenderNode in the graph's
    // model (shared C++ bases such as the gradient generators' are not kinds).
    std::vector<BNNodeKind> subclasses() const;
    // Logs "*** -[<name> updateHashContext:] not implemented!" for each kind
    // of subclasses() whose identity is only BNRenderNode's.
    void searchForUnimplementedHashMethods() const;

private:
    std::vector<BNNodeKind> kinds_;
};
