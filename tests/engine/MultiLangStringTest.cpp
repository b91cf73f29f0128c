#include <gtest/gtest.h>

#include "engine/Locale.h"
#include "engine/MultiLangStringImpl.h"

namespace {

TEST(MultiLangStringTest, FallsBackToEnglish) {
    MultiLangStringImpl s;
    EXPECT_TRUE(s.Add("de-de", "Hallo"));
    EXPECT_TRUE(s.Add("en-us", "Hello"));
    std::string text;
    EXPECT_EQ(0u, s.GetLocalizedText("fr-fr", text));
    EXPECT_EQ("Hello", text);
    text = "unchanged";
    EXPECT_EQ(2u, s.GetText("fr-fr", text));
    EXPECT_EQ("unchanged", text);
    EXPECT_EQ(0u, s.GetLocalizedText("de-de", text));
    EXPECT_EQ("Hallo", text);
}

TEST(MultiLangStringTest, NoFallbackTextMeansNotFoundAndStoresNothing) {
    MultiLangStringImpl s;
    s.Add("de-de", "Hallo");
    std::string text;
    EXPECT_EQ(2u, s.GetLocalizedText("fr-fr", text));
    EXPECT_EQ(1u, s.GetCount());
    EXPECT_EQ(2u, MultiLangStringImpl().GetLocalizedText("en-us", text));
}

TEST(MultiLangStringTest, FirstTextForACodeWins) {
    MultiLangStringImpl s;
    EXPECT_TRUE(s.Add("en-us", "first"));
    EXPECT_FALSE(s.Add("en-us", "second"));
    std::string text;
    EXPECT_EQ(0u, s.GetText("en-us", text));
    EXPECT_EQ("first", text);
}

TEST(MultiLangStringTest, EmptyTextsAnswerExactLookupsButNotTheFallback) {
    MultiLangStringImpl s;
    s.Add("en-us", "");
    s.Add("de-de", "");
    std::string text = "x";
    EXPECT_EQ(0u, s.GetLocalizedText("de-de", text));
    EXPECT_EQ("", text);
    EXPECT_EQ(2u, s.GetLocalizedText("fr-fr", text));
}

TEST(MultiLangStringTest, CodesAreComparedExactly) {
    MultiLangStringImpl s;
    s.Add("de-de", "Hallo");
    s.Add("EN-US", "Hello");
    std::string text;
    EXPECT_EQ(2u, s.GetLocalizedText("fr-fr", text));
    EXPECT_EQ(2u, s.GetText("en-us", text));
}

TEST(LocaleTest, SelectionOnlyTakesCodesOfTheTable) {
    vmi::Locale::ClearSelection();
    EXPECT_EQ("", vmi::Locale::CurrentCode());
    EXPECT_EQ("en-us", vmi::Locale::FallbackCode());
    EXPECT_FALSE(vmi::Locale::Select("EN-US"));
    EXPECT_EQ("", vmi::Locale::CurrentCode());
    vmi::Locale::SelectIfNone("en-us");
    EXPECT_EQ("en-us", vmi::Locale::CurrentCode());
    EXPECT_FALSE(vmi::Locale::Select("de-de"));
    EXPECT_EQ("en-us", vmi::Locale::CurrentCode());
    vmi::Locale::ClearSelection();
    EXPECT_TRUE(vmi::Locale::Select("en-us"));
    EXPECT_EQ("English", std::string(vmi::Locale::RowAt(0).name));
    vmi::Locale::ClearSelection();
}

}  // namespace
