#include <gtest/gtest.h>

#include "engine/Version.h"

namespace {

TEST(VersionTest, DefaultIsZeroAndNotValid) {
    const Version v;
    EXPECT_FALSE(v.IsValid());
    EXPECT_EQ("0.0.0.0", v.ToString());
}

TEST(VersionTest, ParsesFourNumbers) {
    Version v;
    EXPECT_TRUE(v.Parse("1.2.3.4"));
    EXPECT_TRUE(v.IsValid());
    EXPECT_EQ("1.2.3.4", v.ToString());
    EXPECT_TRUE(Version("01.002.3.4").Equal(Version("1.2.3.4")));
    EXPECT_TRUE(Version(" \t1.2.3.4").IsValid());           // leading blanks are skipped
    EXPECT_TRUE(Version("1. 2.3.4").IsValid());             // before each number, as the scan does
    EXPECT_EQ("1.2.3.4", Version("1.2.3.4.5").ToString());  // the scan stops after four
    EXPECT_EQ("1.2.3.4", Version("1.2.3.4abc").ToString());
    EXPECT_EQ("1.2.3.4", Version("+1.2.3.4").ToString());
}

TEST(VersionTest, IncompleteTextsAreZeroAndNotValid) {
    for (const char* text :
         {"1.2.3", "", "a.b.c.d", "1.2.3.", "1..2.3.4", "1,2,3,4", "1.2.3.x", " ", "1.2.3. "}) {
        Version v("9.9.9.9");
        EXPECT_FALSE(v.Parse(text)) << text;
        EXPECT_FALSE(v.IsValid()) << text;
        EXPECT_TRUE(v.Equal(Version())) << text;  // compares equal to 0.0.0.0
    }
}

TEST(VersionTest, NegativePartsWrapToLargeUnsignedNumbers) {
    const Version v("-1.0.0.0");
    EXPECT_TRUE(v.IsValid());
    EXPECT_EQ("4294967295.0.0.0", v.ToString());
    EXPECT_TRUE(v.GreaterThan(Version("99999.0.0.0")));
}

TEST(VersionTest, HugeNumbersDoNotOverflowTheScanner) {
    const Version v("99999999999999999999999.1.2.3");
    EXPECT_TRUE(v.IsValid());
    EXPECT_EQ("4294967295.1.2.3", v.ToString());  // saturated, then narrowed
    EXPECT_TRUE(Version("-99999999999999999999.0.0.0").IsValid());
}

TEST(VersionTest, ComparesLexicographicallyAndNumerically) {
    EXPECT_TRUE(Version("1.10.0.0").GreaterThan(Version("1.9.0.0")));
    EXPECT_TRUE(Version("1.9.0.0").LessThan(Version("1.10.0.0")));
    EXPECT_TRUE(Version("2.0.0.0").GreaterThan(Version("1.99.99.99")));
    EXPECT_TRUE(Version("1.2.3.4").GreaterOrEqual(Version("1.2.3.4")));
    EXPECT_TRUE(Version("1.2.3.5").GreaterOrEqual(Version("1.2.3.4")));
    EXPECT_FALSE(Version("1.2.3.3").GreaterOrEqual(Version("1.2.3.4")));
    EXPECT_TRUE(Version("1.2.3.4").NotEqual(Version("1.2.4.3")));
    // Validity is not part of the order.
    EXPECT_TRUE(Version("0.0.0.0").Equal(Version()));
}

}  // namespace
