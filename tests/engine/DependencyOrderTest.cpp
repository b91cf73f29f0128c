// Install order over dependencies, directly and through the engine's ordering operation.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "engine/DependencyOrder.h"
#include "engine/VomoInstallImpl.h"
#include "support/TempDir.h"

namespace {

typedef std::vector<std::string> Strings;

TEST(DependencyOrderTest, OrdersTheClosureOfTheRequestedIds) {
    // B needs C, then A; D needs B; "Z" and "a" need nothing; M needs A twice.
    const std::vector<DependencyNode> catalogue = {
        {"A", {}}, {"B", {"C", "A"}}, {"C", {}},         {"D", {"B"}},
        {"Z", {}}, {"a", {}},         {"M", {"A", "A"}},
    };
    const struct {
        Strings requested;
        Strings order;
    } cases[] = {
        {{}, {}},
        {{"B"}, {"A", "C", "B"}},
        {{"D"}, {"A", "C", "B", "D"}},
        {{"B", "A"}, {"A", "C", "B"}},
        {{"A", "B"}, {"A", "C", "B"}},
        {{"C", "C"}, {"C"}},
        {{"a", "Z"}, {"Z", "a"}},
        {{"M"}, {"A", "M"}},
        {{"a", "D", "Z"}, {"A", "C", "B", "D", "Z", "a"}},
    };
    for (const auto& c : cases) {
        Strings order = {"untouched"};
        EXPECT_TRUE(DependencyOrder(catalogue, c.requested).GetInstallOrder(order));
        EXPECT_EQ(c.order, order) << ::testing::PrintToString(c.requested);
    }
    // When ids repeat, the first node counts.
    Strings order;
    ASSERT_TRUE(
        DependencyOrder({{"X", {"Y"}}, {"X", {"Q"}}, {"Y", {}}}, {"X"}).GetInstallOrder(order));
    EXPECT_EQ(Strings({"Y", "X"}), order);
}

TEST(DependencyOrderTest, UnknownIdsAndCyclesFailTheOrdering) {
    const std::vector<DependencyNode> catalogue = {
        {"A", {}},         {"B", {"missing"}}, {"self", {"self"}}, {"P", {"Q"}},
        {"Q", {"R", "A"}}, {"R", {"P"}},       {"S", {"A", "P"}},  {"b", {"A"}},
    };
    const Strings failing[] = {{"missing"}, {"B"}, {"A", "B"}, {"self"}, {"P"}, {"S"}, {"B2"}};
    for (const Strings& requested : failing) {
        Strings order = {"untouched"};
        EXPECT_FALSE(DependencyOrder(catalogue, requested).GetInstallOrder(order))
            << ::testing::PrintToString(requested);
        EXPECT_EQ(Strings({"untouched"}), order);
    }
    // Ids are exact bytes: "b" is not "B", and its closure holds no cycle.
    Strings order;
    EXPECT_TRUE(DependencyOrder(catalogue, {"b"}).GetInstallOrder(order));
    EXPECT_EQ(Strings({"A", "b"}), order);
}

TEST(DependencyOrderTest, TheEngineOrdersASelectionOverItsCatalogue) {
    testsupport::TempDir dir("vcm-order");
    const std::string manifest = dir.File("manifest.xml");
    ASSERT_TRUE(testsupport::WriteFile(
        manifest,
        "<manifest version='1.0.0.0'><componentDefinitions>"
        "<component id='A'/>"
        "<component id='B'><dependencies><componentRef id='C'/><componentRef id='A'/>"
        "</dependencies></component>"
        "<component id='C'/>"
        "<component id='L'><dependencies><componentRef id='L'/></dependencies></component>"
        "</componentDefinitions></manifest>"));
    VomoInstallImpl engine(Url("http://127.0.0.1:1/m.cab"), 0);
    engine.SetManifestPath(Url::FromPath(manifest));
    ASSERT_EQ(0u, engine.LoadManifest());
    vmi::ComponentPtr b, l;
    ASSERT_EQ(0u, engine.GetComponent("B", b));
    ASSERT_EQ(0u, engine.GetComponent("L", l));

    vmi::ComponentList ordered;
    ASSERT_EQ(0u, engine.OrderComponents({b}, ordered));
    Strings ids;
    for (const vmi::ComponentPtr& component : ordered) {
        ids.push_back(component->GetId());
    }
    EXPECT_EQ(Strings({"A", "C", "B"}), ids);
    EXPECT_EQ(b, ordered[2]);

    EXPECT_EQ(2u, engine.OrderComponents({b, l}, ordered));
    EXPECT_EQ(3u, ordered.size());  // left as it was
    EXPECT_EQ(0u, engine.OrderComponents({}, ordered));
    EXPECT_TRUE(ordered.empty());
}

}  // namespace
