// Dependency ordering: turns a set of requested component ids into an install order, the
// requested components together with everything they need, directly or indirectly, each placed
// after all of its dependencies.
//
// The order is the one a depth-first search gives over the components reached from the
// requested ones: a search tree starts at each component not yet placed, in ascending byte
// order of the ids, follows each component's dependencies in their listed order, and places a
// component once all of its dependencies are placed. So among components that do not depend on
// each other, the one with the smaller id comes first ("Z" before "a"), and a component comes
// right after the dependencies that were not placed before it.
//
// Ids are compared as exact byte strings. The ordering fails when a requested id, or any id
// reached through dependencies, has no node, and when the reached components form a cycle
// (a component that depends on itself included). Only a node's `dependencies` count; optional
// and dynamic dependencies take no part.
//
// A DependencyOrder is computed once, in its constructor, and may be read from any thread
// afterwards.
#pragma once

#include <string>
#include <vector>

// One component as the ordering sees it.
struct DependencyNode {
    std::string id;
    std::vector<std::string> dependencies;  // in manifest order
};

class DependencyOrder {
public:
    // Computes the order of `requestedIds` over `nodes` (both copied). When several nodes carry
    // the same id, the first one counts.
    DependencyOrder(const std::vector<DependencyNode>& nodes,
                    const std::vector<std::string>& requestedIds);

    // False when the ordering failed, and `ids` is left as it is; otherwise `ids` becomes the
    // install order (each id once) and the answer is true.
    bool GetInstallOrder(std::vector<std::string>& ids) const;

private:
    void Compute();

    std::vector<DependencyNode> nodes_;
    std::vector<std::string> requestedIds_;
    std::vector<std::string> order_;
    bool succeeded_ = false;
};
