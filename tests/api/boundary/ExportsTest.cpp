// The exports as a C++ host sees them: loaded with dlopen, fed null and malformed input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/LoadedExports.h"
#include "vcm/vcm.h"

namespace {

class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ("", e.Error());
        ASSERT_EQ(0, e.initialize(&manager));
        ASSERT_NE(nullptr, manager);
        list.context = &ids;
        list.clear = [](void* context) {
            static_cast<std::vector<std::string>*>(context)->clear();
        };
    }
    void TearDown() override {
        if (e.shutdown) {
            e.shutdown(manager);
        }
    }

    static void Append(const char* id, StringList* l) {
        static_cast<std::vector<std::string>*>(l->context)->push_back(id);
    }

    testsupport::LoadedExports e{VCM_LIBRARY_PATH};
    ComponentManager* manager = nullptr;
    std::vector<std::string> ids;
    StringList list;
};

TEST_F(ExportsTest, SpecsNeedThreeFields) {
    EXPECT_EQ(13, e.addSpec(manager, nullptr));
    EXPECT_EQ(13, e.addSpec(manager, ""));
    EXPECT_EQ(13, e.addSpec(manager, ";"));
    EXPECT_EQ(13, e.addSpec(manager, "a;b"));
    EXPECT_EQ(0, e.addSpec(manager, ";;"));
    EXPECT_EQ(0, e.addSpec(manager, "a;b;c;d;e"));
    EXPECT_EQ(0, e.addSpec(manager, "\xFF\xFE;\xC3;\x80"));  // bytes are kept as they are
}

TEST_F(ExportsTest, FindWithoutSpecsEmptiesTheListAndReportsNothing) {
    ids = {"stale"};
    EXPECT_EQ(13, e.find(manager, Append, &list));
    EXPECT_TRUE(ids.empty());
}

TEST_F(ExportsTest, NullCallbackAndNullClearAreTolerated) {
    StringList noClear{&ids, nullptr};
    ids = {"kept"};
    EXPECT_EQ(13, e.find(manager, nullptr, &noClear));
    EXPECT_EQ(std::vector<std::string>{"kept"}, ids);
    EXPECT_EQ(13, e.find(manager, Append, nullptr));
}

TEST_F(ExportsTest, FailedPreparationReachesEveryRequest) {
    ASSERT_EQ(0, e.addSpec(manager, "n;r;1"));
    ids = {"stale"};
    EXPECT_EQ(4, e.find(manager, Append, &list));  // nothing listens on the manifest port
    EXPECT_TRUE(ids.empty());
    ids = {"stale"};
    // Only the low byte of the flag counts: 0x100 is an unforced check, and none of these
    // components is installed, so none is due.
    EXPECT_EQ(9, e.check(manager, "a;;b", 0x100, Append, &list));
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ(1, e.check(manager, "a;;b", 0x101, Append, &list));
    EXPECT_EQ(1, e.check(manager, nullptr, 1, Append, &list));
    EXPECT_EQ(1, e.update(manager, "a;b"));
    EXPECT_EQ(1, e.update(manager, nullptr));
}

TEST_F(ExportsTest, NullManagerIsRefusedWithoutACrash) {
    EXPECT_EQ(13, e.addSpec(nullptr, "a;b;c"));
    ids = {"stale"};
    EXPECT_NE(0, e.find(nullptr, Append, &list));
    EXPECT_TRUE(ids.empty());
    EXPECT_NE(0, e.check(nullptr, "a", 1, Append, &list));
    EXPECT_NE(0, e.update(nullptr, "a"));
    e.shutdown(nullptr);
    EXPECT_EQ(0, e.initialize(nullptr));
}

TEST_F(ExportsTest, ManyManagersComeAndGo) {
    for (int i = 0; i < 5; ++i) {
        ComponentManager* other = nullptr;
        ASSERT_EQ(0, e.initialize(&other));
        ASSERT_NE(nullptr, other);
        EXPECT_EQ(0, e.addSpec(other, "a;b;c"));
        e.shutdown(other);
    }
}

}  // namespace
