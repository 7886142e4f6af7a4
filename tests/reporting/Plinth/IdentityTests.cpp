#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNIdentity.h"
#include "tests/reporting/Plinth/MachOBuilder.h"
#include "tests/reporting/Plinth/ScratchFolder.h"

#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <regex>
#include <set>

using namespace pln;
using reportingtest::MachOBuilder;
using reportingtest::ScratchFolder;

namespace {

class IdentityTest : public ::testing::Test {
protected:
    void TearDown() override { PLNSetEnvironment(PLNEnvironment{}); }

    static void useInfo(nlohmann::json info)
    {
        PLNEnvironment environment;
        environment.infoDictionary = std::move(info);
        PLNSetEnvironment(std::move(environment));
    }
};

std::string sha1Hex(const std::string& text)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    return PLNHexStringFromData(std::string(reinterpret_cast<char*>(digest), sizeof digest));
}

}  // namespace

TEST_F(IdentityTest, BundleValuesComeFromTheInformationDictionary)
{
    useInfo({{"CFBundleIdentifier", "a/b/c"}, {"CFBundleVersion", "42"}, {"CFBundleShortVersionString", "1.2"}, {"CFBundleName", "Tone"}});
    EXPECT_EQ(PLNSanitizedBundleIdentifier(), "a_b_c");
    EXPECT_EQ(PLNBundleIdentifier(), "a/b/c");
    EXPECT_EQ(PLNBundleVersion(), "42");
    EXPECT_EQ(PLNBundleShortVersionString(), "1.2");
    EXPECT_EQ(PLNBundleDisplayName(), "Tone");
    useInfo({{"CFBundleVersion", "42"}, {"CFBundleIdentifier", 7}});
    EXPECT_EQ(PLNBundleDisplayName(), "42");
    EXPECT_FALSE(PLNSanitizedBundleIdentifier());  // a number is no identifier
}

TEST_F(IdentityTest, InstallationSourceAndIdentifierCollection)
{
    useInfo(nlohmann::json::object());
    EXPECT_EQ(PLNInstallationSource(), PLNInstallationSourceCode::Other);
    EXPECT_TRUE(PLNShouldCollectDeviceIdentifiers());
    useInfo({{"BriscaSignedForDistribution", true}, {"BriscaCollectDeviceIdentifiers", false}});
    EXPECT_EQ(PLNInstallationSource(), PLNInstallationSourceCode::SignedForDistribution);
    EXPECT_FALSE(PLNShouldCollectDeviceIdentifiers());
    useInfo({{"Plinth", {{"ReportIdentifiers", true}}}, {"BriscaCollectDeviceIdentifiers", false}});
    EXPECT_TRUE(PLNShouldCollectDeviceIdentifiers());
}

TEST_F(IdentityTest, VersionNumbersByMinorVersion)
{
    EXPECT_EQ(PLNOperatingSystemVersionNumberForMinor(7), 1070);
    EXPECT_EQ(PLNOperatingSystemVersionNumberForMinor(10), 101000);
    EXPECT_EQ(PLNOperatingSystemVersionNumberForMinor(11), 101100);
    EXPECT_EQ(PLNOperatingSystemVersionNumberForMinor(5), 0);
    EXPECT_EQ(PLNOperatingSystemVersionNumberForMinor(12), 0);
    const auto version = PLNOperatingSystemVersion();
    EXPECT_EQ(PLNHostOSDisplayVersion(),
              std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.patch));
    EXPECT_TRUE(PLNHostModel());
    EXPECT_FALSE(PLNSysctlString("no.such.name"));
}

TEST_F(IdentityTest, HexShaAndUUIDEncodings)
{
    char output[7] = {'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    PLNHexEncodeBytes(reinterpret_cast<const std::uint8_t*>("abc"), 3, output);
    EXPECT_STREQ(output, "616263");
    PLNHexEncodeBytes(nullptr, 3, output);
    EXPECT_STREQ(output, "");
    EXPECT_EQ(PLNHexStringFromData(std::string("\x00\xff\x10", 3)), "00ff10");
    EXPECT_EQ(PLNSHA1HexString("", 0), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(PLNSHA1HexStringFromData("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");

    const std::regex canonical("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const auto uuid = PLNNewUUIDString();
        EXPECT_TRUE(std::regex_match(uuid, canonical)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 50u);
}

TEST_F(IdentityTest, ByteRangesAreWalkedInOrderUntilStopped)
{
    std::vector<std::pair<std::string, std::size_t>> seen;
    PLNEnumerateByteRangesOfData(std::vector<std::string_view>{"ab", "cde", "f"}, [&](std::string_view bytes, std::size_t offset, bool& stop) {
        seen.emplace_back(std::string(bytes), offset);
        stop = bytes == "cde";
    });
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::size_t>>{{"ab", 0}, {"cde", 2}}));
}

TEST_F(IdentityTest, IconsAreHashedAndMeasured)
{
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "rest of the image";
    const auto icon = PLNIcon::fromPNG(png, {1024, 1024});
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->dataHash(), sha1Hex(png));
    EXPECT_TRUE(icon->prerendered());
    EXPECT_TRUE(icon->isWithinMaxSurfaceArea());
    EXPECT_FALSE(PLNIcon(png, {1025, 1024}).isWithinMaxSurfaceArea());
    EXPECT_TRUE(icon->largerThanSize({1023, 1024}));
    EXPECT_FALSE(icon->largerThanSize({1024, 1024}));
    EXPECT_FALSE(PLNIcon::fromPNG("GIF89a not a png", {1, 1}));
}

TEST_F(IdentityTest, UniversalExecutableGivesOneUUIDPerArchitectureAndAnOrderFreeIdentifier)
{
    ScratchFolder folder;
    std::vector<std::uint8_t> intelUUID(16, 0xaa), armUUID(16, 0x01);
    const MachOBuilder intel = MachOBuilder(0x01000007, 3).uuid(intelUUID).minimumVersion(36, 10 << 16 | 9 << 8, 10 << 16 | 13 << 8);
    const MachOBuilder arm = MachOBuilder(0x0100000c, 0).uuid(armUUID).minimumVersion(36, 11 << 16, 12 << 16 | 1 << 8);
    const auto armFirst = folder.write("arm-first", MachOBuilder::fat({{arm, arm.bytes()}, {intel, intel.bytes()}}));
    const auto intelFirst = folder.write("intel-first", MachOBuilder::fat({{intel, intel.bytes()}, {arm, arm.bytes()}}));

    const auto model = PLNApplicationIdentiferModel::initWithInstallID("INSTALL", armFirst);
    ASSERT_TRUE(model);
    EXPECT_EQ(model->architectureUUIDMap().size(), 2u);
    EXPECT_EQ(model->architectureUUIDMap().at("arm64"), "01010101010101010101010101010101");
    EXPECT_EQ(model->architectureUUIDMap().at("x86_64"), std::string(32, 'a'));
    // Sorted by architecture name: arm64 before x86_64.
    EXPECT_EQ(model->instanceIdentifier(), sha1Hex("01010101010101010101010101010101" + std::string(32, 'a')));
    EXPECT_EQ(model->minimumSDKString(), "10.9.0");  // the later slice's command wins
    EXPECT_EQ(model->builtSDKString(), "10.13.0");
    EXPECT_EQ(model->installID(), "INSTALL");

    const auto other = PLNApplicationIdentiferModel::initWithInstallID("INSTALL", intelFirst);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->instanceIdentifier(), model->instanceIdentifier());
}

TEST_F(IdentityTest, ImageWithoutUUIDsHasTheDigestOfNothing)
{
    ScratchFolder folder;
    const auto model = PLNApplicationIdentiferModel::initWithInstallID(std::nullopt, folder.write("bare", MachOBuilder(7, 3, false).bytes()));
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->architectureUUIDMap().empty());
    EXPECT_EQ(model->instanceIdentifier(), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_FALSE(PLNApplicationIdentiferModel::initWithInstallID(std::nullopt, folder.path() + "/missing"));
}

TEST_F(IdentityTest, OwnExecutableIsIdentifiedByItsBuildID)
{
    PLNEnvironment environment;
    environment.infoDictionary = {{"CFBundleIdentifier", "com.example/tone"}};
    environment.icon = PLNIconImage{std::string("\x89PNG\r\n\x1a\n", 8) + "x", 57.9, 57.9};
    PLNSetEnvironment(environment);
    const auto model = PLNApplicationIdentiferModel::initWithInstallID("ID");
    ASSERT_TRUE(model);
    ASSERT_EQ(model->architectureUUIDMap().count("x86_64"), 1u);
    const auto buildID = PLNImageSliceELFBuildID(PLNCurrentImageSlice());
    ASSERT_TRUE(buildID);
    EXPECT_EQ(model->architectureUUIDMap().at("x86_64"), PLNHexStringFromData(buildID->substr(0, 16)));
    EXPECT_NE(model->instanceIdentifier(), PLNSHA1HexString("", 0));
    EXPECT_EQ(model->bundleIdentifier(), "com.example_tone");
    ASSERT_TRUE(model->icon());
    EXPECT_DOUBLE_EQ(model->icon()->size().width, 57.9);
}
