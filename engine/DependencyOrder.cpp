#include "engine/DependencyOrder.h"

#include <map>
#include <set>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/exception.hpp>
#include <boost/graph/topological_sort.hpp>
#include <boost/iterator/function_output_iterator.hpp>

namespace {

// Vertices in a vector (vertex index = position in ascending id order); out-edges in a vector,
// so that they keep the order they were added in and a dependency listed twice gives two
// parallel edges. An edge goes from a component to one of its dependencies.
typedef boost::adjacency_list<boost::vecS, boost::vecS, boost::bidirectionalS> Graph;
typedef boost::graph_traits<Graph>::vertex_descriptor Vertex;

}  // namespace

DependencyOrder::DependencyOrder(const std::vector<DependencyNode>& nodes,
                                 const std::vector<std::string>& requestedIds)
    : nodes_(nodes), requestedIds_(requestedIds) {
    Compute();
}

bool DependencyOrder::GetInstallOrder(std::vector<std::string>& ids) const {
    if (!succeeded_) {
        return false;
    }
    ids = order_;
    return true;
}

void DependencyOrder::Compute() {
    std::map<std::string, size_t> firstNode;  // id -> index of the first node with that id
    for (size_t i = 0; i < nodes_.size(); ++i) {
        firstNode.insert(std::make_pair(nodes_[i].id, i));
    }

    // Closure: every id reached from the requested ones, in ascending byte order. Worked off a
    // list rather than by recursion, so that a long chain of dependencies cannot exhaust the
    // stack; which ids are reached does not depend on the order they are visited in.
    std::set<std::string> reached;
    std::vector<std::string> pending(requestedIds_.rbegin(), requestedIds_.rend());
    while (!pending.empty()) {
        const std::string id = pending.back();
        pending.pop_back();
        if (!reached.insert(id).second) {
            continue;
        }
        std::map<std::string, size_t>::const_iterator node = firstNode.find(id);
        if (node == firstNode.end()) {
            return;  // an id without a component
        }
        const std::vector<std::string>& dependencies = nodes_[node->second].dependencies;
        pending.insert(pending.end(), dependencies.rbegin(), dependencies.rend());
    }

    const std::vector<std::string> ids(reached.begin(), reached.end());
    std::map<std::string, Vertex> vertexOf;
    for (size_t i = 0; i < ids.size(); ++i) {
        vertexOf[ids[i]] = i;
    }
    Graph graph(ids.size());
    for (size_t u = 0; u < ids.size(); ++u) {
        for (const std::string& dependency : nodes_[firstNode[ids[u]]].dependencies) {
            boost::add_edge(u, vertexOf[dependency], graph);
        }
    }

    std::vector<std::string> order;
    try {
        // A vertex is emitted once all of its out-edges are finished: after its dependencies.
        boost::topological_sort(
            graph, boost::make_function_output_iterator(
                       [&order, &ids](Vertex vertex) { order.push_back(ids[vertex]); }));
    } catch (const boost::not_a_dag&) {
        return;  // a cycle
    } catch (const boost::bad_graph&) {
        return;
    }
    order_.swap(order);
    succeeded_ = true;
}
