#include "reporting/Plinth/PLNIdentity.h"

#include "reporting/Plinth/PLNEnvironment.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include <sys/stat.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace pln {
namespace {

std::optional<std::string> infoString(const nlohmann::json& dictionary, const char* key)
{
    if (!dictionary.is_object())
        return std::nullopt;
    const auto found = dictionary.find(key);
    return found != dictionary.end() && found->is_string() ? std::optional<std::string>(found->get<std::string>()) : std::nullopt;
}

std::optional<bool> infoBool(const nlohmann::json& dictionary, const char* key)
{
    if (!dictionary.is_object())
        return std::nullopt;
    const auto found = dictionary.find(key);
    return found != dictionary.end() && found->is_boolean() ? std::optional<bool>(found->get<bool>()) : std::nullopt;
}

std::optional<std::string> firstLine(const char* path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n'))
        line.pop_back();
    return line.empty() ? std::nullopt : std::optional<std::string>(line);
}

}  // namespace

std::optional<std::string> PLNBundleIdentifier() { return infoString(PLNCurrentEnvironment()->infoDictionary, "CFBundleIdentifier"); }

std::optional<std::string> PLNSanitizedBundleIdentifier()
{
    auto identifier = PLNBundleIdentifier();
    if (identifier)
        std::replace(identifier->begin(), identifier->end(), '/', '_');
    return identifier;
}

std::optional<std::string> PLNBundleVersion() { return infoString(PLNCurrentEnvironment()->infoDictionary, "CFBundleVersion"); }

std::optional<std::string> PLNBundleShortVersionString()
{
    return infoString(PLNCurrentEnvironment()->infoDictionary, "CFBundleShortVersionString");
}

std::optional<std::string> PLNBundleDisplayName()
{
    const auto& info = PLNCurrentEnvironment()->infoDictionary;
    if (auto name = infoString(info, "CFBundleDisplayName"))
        return name;
    if (auto name = infoString(info, "CFBundleName"))
        return name;
    return PLNBundleVersion();
}

bool PLNHasAppStoreReceipt()
{
    if (PLNOperatingSystemVersionNumber() < 1070)
        return false;
    const auto receipt = PLNCurrentEnvironment()->storeReceiptPath;
    struct stat status {};
    return receipt && ::stat(receipt->c_str(), &status) == 0;
}

bool PLNIsSignedForDistribution()
{
    const auto environment = PLNCurrentEnvironment();
    const auto& info = environment->crashKitInfoDictionary.is_null() ? environment->infoDictionary : environment->crashKitInfoDictionary;
    return infoBool(info, "BriscaSignedForDistribution").value_or(false);
}

PLNInstallationSourceCode PLNInstallationSource()
{
    if (PLNHasAppStoreReceipt())
        return PLNInstallationSourceCode::Store;
    if (PLNIsSignedForDistribution())
        return PLNInstallationSourceCode::SignedForDistribution;
    return PLNInstallationSourceCode::Other;
}

bool PLNShouldCollectDeviceIdentifiers()
{
    const auto& info = PLNCurrentEnvironment()->infoDictionary;
    if (info.is_object() && info.contains("Plinth"))
        if (auto value = infoBool(info["Plinth"], "ReportIdentifiers"))
            return *value;
    return infoBool(info, "BriscaCollectDeviceIdentifiers").value_or(true);
}

PLNOperatingSystemVersionValue PLNOperatingSystemVersion()
{
    // The kernel release ("6.1.0-18-amd64") stands for the system version.
    PLNOperatingSystemVersionValue version;
    utsname names{};
    if (::uname(&names) == 0)
        std::sscanf(names.release, "%ld.%ld.%ld", &version.major, &version.minor, &version.patch);
    return version;
}

long PLNOperatingSystemVersionNumberForMinor(long minor)
{
    switch (minor) {
    case 6: return 1060;
    case 7: return 1070;
    case 8: return 1080;
    case 9: return 1090;
    case 10: return 101000;
    case 11: return 101100;
    default: return 0;
    }
}

long PLNOperatingSystemVersionNumber() { return PLNOperatingSystemVersionNumberForMinor(PLNOperatingSystemVersion().minor); }

std::optional<std::string> PLNSysctlString(const std::string& name)
{
    std::optional<std::string> value;
    utsname names{};
    const bool named = ::uname(&names) == 0;
    if (name == "hw.model")
        value = firstLine("/sys/devices/virtual/dmi/id/product_name");
    if (name == "hw.model" && !value && named)
        value = names.machine;
    else if (name == "kern.osversion" && named)
        value = names.version;
    else if (name == "kern.osrelease" && named)
        value = names.release;
    else if (name == "hw.machine" && named)
        value = names.machine;
    if (value && value->size() > 127)
        value->resize(127);  // what a 128-byte buffer holds
    return value;
}

std::optional<std::string> PLNHostModel() { return PLNSysctlString("hw.model"); }
std::optional<std::string> PLNHostOSBuildVersion() { return PLNSysctlString("kern.osversion"); }

std::string PLNHostOSDisplayVersion()
{
    const auto version = PLNOperatingSystemVersion();
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.patch);
}

void PLNHexEncodeByte(std::uint8_t byte, char* output)
{
    static constexpr char digits[] = "0123456789abcdef";
    if (!output)
        return;
    output[0] = digits[byte >> 4];
    output[1] = digits[byte & 0xf];
}

void PLNHexEncodeBytes(const std::uint8_t* bytes, std::size_t count, char* output)
{
    if (!output)
        return;
    std::memset(output, 0, 2 * count + 1);
    if (!bytes)
        return;
    for (std::size_t i = 0; i < count; ++i)
        PLNHexEncodeByte(bytes[i], output + 2 * i);
}

std::string PLNHexStringFromData(std::string_view data)
{
    std::string text(2 * data.size() + 1, '\0');
    PLNHexEncodeBytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), text.data());
    text.pop_back();
    return text;
}

std::string PLNSHA1HexString(const void* bytes, std::uint32_t length)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    static const unsigned char nothing = 0;
    SHA1(bytes ? static_cast<const unsigned char*>(bytes) : &nothing, bytes ? length : 0, digest);
    return PLNHexStringFromData(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

std::string PLNSHA1HexStringFromData(std::string_view data) { return PLNSHA1HexString(data.data(), static_cast<std::uint32_t>(data.size())); }

std::string PLNNewUUIDString()
{
    std::uint8_t bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return {};
    bytes[6] = (bytes[6] & 0x0f) | 0x40;  // version 4
    bytes[8] = (bytes[8] & 0x3f) | 0x80;  // the standard variant
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2],
                  bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13],
                  bytes[14], bytes[15]);
    return text;
}

std::string PLNHexStringFromUUIDBytes(const std::uint8_t* bytes) { return PLNUUIDStringFromBytes(bytes); }

void PLNEnumerateByteRangesOfData(const std::vector<std::string_view>& ranges, const PLNByteRangeBlock& block)
{
    std::size_t offset = 0;
    bool stop = false;
    for (const auto range : ranges) {
        block(range, offset, stop);
        if (stop)
            return;
        offset += range.size();
    }
}

void PLNEnumerateByteRangesOfData(std::string_view data, const PLNByteRangeBlock& block)
{
    PLNEnumerateByteRangesOfData(std::vector<std::string_view>{data}, block);
}

// Icons ----------------------------------------------------------------------

PLNIcon::PLNIcon(std::string data, std::string dataHash, PLNSize size, bool prerendered)
    : data_(std::move(data)), dataHash_(std::move(dataHash)), size_(size), prerendered_(prerendered)
{
}

PLNIcon::PLNIcon(std::string data, PLNSize size, bool prerendered)
    : PLNIcon(data, PLNSHA1HexStringFromData(data), size, prerendered)
{
}

std::shared_ptr<PLNIcon> PLNIcon::fromPNG(std::string png, PLNSize size)
{
    static constexpr char signature[] = "\x89PNG\r\n\x1a\n";
    if (png.size() < 8 || png.compare(0, 8, signature, 8) != 0)
        return nullptr;
    return std::make_shared<PLNIcon>(std::move(png), size);
}

std::shared_ptr<PLNIcon> PLNAppIconUtility::applicationIcon()
{
    if (!applicationIcon_)
        applicationIcon_ = fetchApplicationIcon();
    return applicationIcon_;
}

std::shared_ptr<PLNIcon> PLNAppIconUtility::fetchApplicationIcon() const
{
    const auto icon = PLNCurrentEnvironment()->icon;
    return icon ? PLNIcon::fromPNG(icon->png, PLNSize{icon->width, icon->height}) : nullptr;
}

nlohmann::json PLNAppIconUtility::appInfoDictionary() const { return PLNCurrentEnvironment()->infoDictionary; }

// Build identity ---------------------------------------------------------------

std::shared_ptr<PLNApplicationIdentiferModel> PLNApplicationIdentiferModel::initWithInstallID(const std::optional<std::string>& installID,
                                                                                            const std::optional<std::string>& executablePath)
{
    auto model = std::make_shared<PLNApplicationIdentiferModel>();
    if (!model->computeExecutableInfo(executablePath))
        return nullptr;
    model->computeInstanceIdentifier();
    model->icon_ = PLNAppIconUtility().applicationIcon();
    model->installID_ = installID;
    model->bundleIdentifier_ = PLNSanitizedBundleIdentifier();
    return model;
}

bool PLNApplicationIdentiferModel::computeExecutableInfo(const std::optional<std::string>& executablePath)
{
    PLNImageFile file;
    const bool mapped = executablePath ? PLNImageFileMapPath(&file, executablePath->c_str()) : PLNImageFileMapExecutable(&file);
    if (!mapped)
        return false;
    std::map<std::string, std::string> uuids;
    PLNImageFileEnumerateSlices(&file, [&](const PLNImageSlice& each) {
        PLNImageSlice slice = each;
        const std::string architecture = PLNImageSliceArchitectureName(slice);
        if (PLNImageSliceIsELF(slice)) {
            if (const auto uuid = PLNImageSliceELFUUID(slice))
                uuids[architecture] = PLNHexStringFromUUIDBytes(uuid->data());
            return;
        }
        PLNImageSliceEnumerateLoadCommands(&slice, [&](std::uint32_t command, std::uint32_t size, const void* address) {
            if (command == kPLNLoadCommandUUID) {
                if (const auto* bytes = PLNLoadCommandUUID(address, size))
                    uuids[architecture] = PLNHexStringFromUUIDBytes(bytes);
            } else if ((command == kPLNLoadCommandVersionMinMacOSX || command == kPLNLoadCommandVersionMinIPhoneOS) && size >= 16) {
                minimumSDK_ = PLNLoadCommandMinimumOSVersion(address, size);
                builtSDK_ = PLNLoadCommandSDKVersion(address, size);
            }
        });
    });
    PLNImageFileUnmap(&file);
    architectureUUIDMap_ = std::move(uuids);
    return true;
}

bool PLNApplicationIdentiferModel::computeInstanceIdentifier()
{
    std::string joined;
    for (const auto& [architecture, uuid] : architectureUUIDMap_)
        joined += uuid;
    instanceIdentifier_ = PLNSHA1HexStringFromData(joined);
    return true;
}

}  // namespace pln
