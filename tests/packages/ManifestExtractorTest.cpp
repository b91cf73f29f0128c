// The manifest extractor and the cabinet extractor behind it, on "file" Urls.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <boost/make_shared.hpp>

#include "packages/CabFileExtractor.h"
#include "packages/ManifestExtractor.h"
#include "support/CodeSigning.h"
#include "support/TempDir.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

class RecordingExtractor : public ICustomManifestExtractor {
public:
    bool canExtract = true;
    bool extracts = true;
    int extractCalls = 0;
    Url lastSource, lastDestination;

    bool CanExtract(const Url& source) override {
        lastSource = source;
        return canExtract;
    }
    bool Extract(const Url& source, const Url& destination) override {
        ++extractCalls;
        lastSource = source;
        lastDestination = destination;
        return extracts;
    }
};

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

class ManifestExtractorTest : public ::testing::Test {
protected:
    Url At(const std::string& name) const { return Url::FromPath(dir_.File(name)); }
    TempDir dir_{"vcm-extractor"};
};

TEST_F(ManifestExtractorTest, TheCabinetCheckLooksAtTheFirstFourBytesOnly) {
    CabFileExtractor cabinets;
    const std::vector<std::pair<std::string, bool>> files = {
        {"", false},      {"MSC", false},
        {"MSCX", false},  {"mscf", false},
        {"MSCF", true},   {"MSCF and anything after", true},
        {"XMSCF", false}, {std::string("MZ\x90\0", 4), false},
    };
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = "f" + std::to_string(i);
        ASSERT_TRUE(WriteFile(dir_.File(name), files[i].first));
        EXPECT_EQ(files[i].second, cabinets.CanExtract(At(name))) << "\"" << files[i].first << "\"";
    }
    EXPECT_FALSE(cabinets.CanExtract(At("missing")));
    EXPECT_FALSE(cabinets.CanExtract(Url()));
}

TEST_F(ManifestExtractorTest, ExtractsACabinetByDefaultAndRefusesOtherFiles) {
    const std::string manifest = "<manifest version=\"1.0.0.0\"/>";
    ASSERT_TRUE(testsupport::MakeCabinet(dir_.File("m.cab"), {{"manifest.xml", manifest}}, true,
                                         dir_.Path()));
    ManifestExtractor extractor;
    ASSERT_TRUE(extractor.Extract(At("m.cab"), At("out.xml")));
    std::string bytes;
    ASSERT_TRUE(ReadFile(dir_.File("out.xml"), bytes));
    EXPECT_EQ(manifest, bytes);

    // A file that only starts like a cabinet passes the check and fails the extraction.
    ASSERT_TRUE(WriteFile(dir_.File("fake.cab"), "MSCF, but no more"));
    EXPECT_FALSE(extractor.Extract(At("fake.cab"), At("fake.xml")));
    EXPECT_FALSE(Exists(dir_.File("fake.xml")));
    ASSERT_TRUE(WriteFile(dir_.File("plain.xml"), manifest));
    EXPECT_FALSE(extractor.Extract(At("plain.xml"), At("plain.out")));
    EXPECT_FALSE(Exists(dir_.File("plain.out")));
}

TEST_F(ManifestExtractorTest, AHeldExtractorIsAskedFirstAndUsedOnlyWhenItCan) {
    const boost::shared_ptr<RecordingExtractor> custom = boost::make_shared<RecordingExtractor>();
    ManifestExtractor extractor(custom);
    custom->canExtract = false;
    EXPECT_FALSE(extractor.Extract(At("a"), At("b")));
    EXPECT_EQ(0, custom->extractCalls);
    EXPECT_EQ(At("a"), custom->lastSource);

    custom->canExtract = true;
    EXPECT_TRUE(extractor.Extract(At("c"), At("d")));
    EXPECT_EQ(1, custom->extractCalls);
    EXPECT_EQ(At("c"), custom->lastSource);
    EXPECT_EQ(At("d"), custom->lastDestination);
    custom->extracts = false;
    EXPECT_FALSE(extractor.Extract(At("c"), At("d")));
}

}  // namespace
