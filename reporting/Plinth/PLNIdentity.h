#pragma once
// What the kit says about the application, its build and the host, and the
// small hexadecimal, SHA-1 and UUID functions the kit shares.

#include "reporting/Plinth/PLNImageFile.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pln {

// Bundle functions, over the information dictionary of the environment.
std::optional<std::string> PLNBundleIdentifier();
std::optional<std::string> PLNSanitizedBundleIdentifier();  // every "/" becomes "_"
std::optional<std::string> PLNBundleVersion();
std::optional<std::string> PLNBundleShortVersionString();
std::optional<std::string> PLNBundleDisplayName();
bool PLNHasAppStoreReceipt();
bool PLNIsSignedForDistribution();

// Where the build came from: 4 store, 3 signed for distribution, 1 otherwise.
enum class PLNInstallationSourceCode { Other = 1, SignedForDistribution = 3, Store = 4 };
PLNInstallationSourceCode PLNInstallationSource();
bool PLNShouldCollectDeviceIdentifiers();

struct PLNOperatingSystemVersionValue {
    long major = 0;
    long minor = 0;
    long patch = 0;
};
PLNOperatingSystemVersionValue PLNOperatingSystemVersion();
long PLNOperatingSystemVersionNumber();
long PLNOperatingSystemVersionNumberForMinor(long minor);
// The named system value ("hw.model", "kern.osversion", "kern.osrelease",
// "hw.machine"), at most 127 characters, or nothing.
std::optional<std::string> PLNSysctlString(const std::string& name);
std::optional<std::string> PLNHostModel();
std::optional<std::string> PLNHostOSBuildVersion();
std::string PLNHostOSDisplayVersion();

// Encoding.
void PLNHexEncodeByte(std::uint8_t byte, char* output);
void PLNHexEncodeBytes(const std::uint8_t* bytes, std::size_t count, char* output);
std::string PLNHexStringFromData(std::string_view data);
std::string PLNSHA1HexString(const void* bytes, std::uint32_t length);
std::string PLNSHA1HexStringFromData(std::string_view data);
std::string PLNNewUUIDString();  // 36 upper-case characters, 8-4-4-4-12
std::string PLNHexStringFromUUIDBytes(const std::uint8_t* bytes);
// Calls block for each contiguous range of the data, with its offset, until it sets stop.
using PLNByteRangeBlock = std::function<void(std::string_view bytes, std::size_t offset, bool& stop)>;
void PLNEnumerateByteRangesOfData(const std::vector<std::string_view>& ranges, const PLNByteRangeBlock& block);
void PLNEnumerateByteRangesOfData(std::string_view data, const PLNByteRangeBlock& block);

struct PLNSize {
    double width = 0;
    double height = 0;
};

class PLNIcon {
public:
    PLNIcon(std::string data, std::string dataHash, PLNSize size, bool prerendered);
    PLNIcon(std::string data, PLNSize size, bool prerendered = true);
    // Null unless the bytes are a PNG image.
    static std::shared_ptr<PLNIcon> fromPNG(std::string png, PLNSize size);

    const std::string& data() const { return data_; }
    const std::string& dataHash() const { return dataHash_; }
    PLNSize size() const { return size_; }
    bool prerendered() const { return prerendered_; }
    double surfaceArea() const { return size_.width * size_.height; }
    bool isWithinMaxSurfaceArea() const { return surfaceArea() <= 1048576.0; }
    bool largerThanSize(PLNSize other) const { return surfaceArea() > other.width * other.height; }

private:
    std::string data_;
    std::string dataHash_;
    PLNSize size_;
    bool prerendered_;
};

class PLNAppIconUtility {
public:
    // The application's icon, fetched once; asked for again while there is none.
    std::shared_ptr<PLNIcon> applicationIcon();
    void setApplicationIcon(std::shared_ptr<PLNIcon> icon) { applicationIcon_ = std::move(icon); }
    std::shared_ptr<PLNIcon> fetchApplicationIcon() const;
    nlohmann::json appInfoDictionary() const;

private:
    std::shared_ptr<PLNIcon> applicationIcon_;
};

// The build's identity: the UUID of every slice of the executable, the SDK
// versions and the instance identifier computed from them.
class PLNApplicationIdentiferModel {
public:
    // Null when the executable cannot be read. Without a path, the running
    // executable's file.
    static std::shared_ptr<PLNApplicationIdentiferModel> initWithInstallID(const std::optional<std::string>& installID,
                                                                            const std::optional<std::string>& executablePath = std::nullopt);

    const std::map<std::string, std::string>& architectureUUIDMap() const { return architectureUUIDMap_; }
    const std::optional<std::string>& installID() const { return installID_; }
    const std::shared_ptr<PLNIcon>& icon() const { return icon_; }
    const std::optional<std::string>& bundleIdentifier() const { return bundleIdentifier_; }
    const std::string& instanceIdentifier() const { return instanceIdentifier_; }
    PLNVersionTriple builtSDK() const { return builtSDK_; }
    PLNVersionTriple minimumSDK() const { return minimumSDK_; }
    std::string builtSDKString() const { return *PLNVersionTripleString(&builtSDK_); }
    std::string minimumSDKString() const { return *PLNVersionTripleString(&minimumSDK_); }

    bool computeExecutableInfo(const std::optional<std::string>& executablePath);
    bool computeInstanceIdentifier();

private:
    std::map<std::string, std::string> architectureUUIDMap_;  // ordered by name, as the identifier needs
    std::optional<std::string> installID_;
    std::shared_ptr<PLNIcon> icon_;
    std::optional<std::string> bundleIdentifier_;
    std::string instanceIdentifier_;
    PLNVersionTriple builtSDK_;
    PLNVersionTriple minimumSDK_;
};

}  // namespace pln
