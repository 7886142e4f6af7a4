#pragma once
// A report: one execution's report directory with its record files.
// BRSInternalReport is the kit's handle on it; BRSReport is the face handed
// to the application's delegate, which may attach the user's identity.

#include "reporting/BriscaKit/CrashTime/BRSContext.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BRSInternalReport {
public:
    static std::shared_ptr<BRSInternalReport> reportWithPath(const std::string& path);
    // Takes the identifier from the metadata record; logs when there is none.
    explicit BRSInternalReport(std::string path);
    BRSInternalReport(std::string path, std::optional<std::string> executionIdentifier);
    ~BRSInternalReport();

    std::string path() const;
    void setPath(std::string path);
    const std::optional<std::string>& identifier() const { return identifier_; }
    std::string directoryName() const;
    std::string pathForContentFile(const std::string& name) const;
    std::string metadataPath() const { return pathForContentFile("metadata.brsrecord"); }
    std::string binaryImagePath() const { return pathForContentFile("binary_images.brsrecord"); }

    static std::optional<std::vector<nlohmann::json>> readMetadataAtPath(const std::string& path);
    // Read once, on first use.
    std::vector<nlohmann::json> metadataSections() const;

    // Holds a crash, a custom exception or a recorded error.
    bool needsToBeSubmitted() const;
    // Holds a crash record: an uncaught exception, a signal or a fault.
    bool holdsCrash() const;
    // The exception, fault and signal records, whether or not they exist.
    void enumerateSymbolicatableFilesInContent(const std::function<void(const std::string& path)>& block) const;

    std::optional<std::string> APIKey() const;
    std::optional<std::string> bundleVersion() const;
    std::optional<std::string> bundleShortVersionString() const;
    // Seconds since 1970; 0 when the metadata does not say.
    uint64_t dateCreated() const;
    std::optional<std::string> OSVersion() const;
    std::optional<std::string> OSBuildVersion() const;

private:
    std::optional<nlohmann::json> metadataValue(size_t section, const char* name, const char* member) const;

    // The path, which may change while other threads read it, and the metadata read once: both behind the lock.
    struct Private;
    std::unique_ptr<Private> d;
    std::optional<std::string> identifier_;
};

class BRSReport {
public:
    explicit BRSReport(std::shared_ptr<BRSInternalReport> report) : internalReport_(std::move(report)) {}

    const std::shared_ptr<BRSInternalReport>& internalReport() const { return internalReport_; }
    std::optional<std::string> identifier() const { return internalReport_->identifier(); }
    std::optional<std::string> bundleVersion() const { return internalReport_->bundleVersion(); }
    std::optional<std::string> bundleShortVersionString() const { return internalReport_->bundleShortVersionString(); }
    uint64_t dateCreated() const { return internalReport_->dateCreated(); }
    uint64_t crashedOnDate() const { return dateCreated(); }
    std::optional<std::string> OSVersion() const { return internalReport_->OSVersion(); }
    std::optional<std::string> OSBuildVersion() const { return internalReport_->OSBuildVersion(); }
    bool isCrash() const { return false; }

    // Written into this report's own internal key files, once the kit has
    // set up its crash-time context; before that they do nothing.
    void setUserIdentifier(const std::string& value) { recordValueForInternalKey(value, "com.brisca.user-id"); }
    void setUserName(const std::string& value) { recordValueForInternalKey(value, "com.brisca.user-name"); }
    void setUserEmail(const std::string& value) { recordValueForInternalKey(value, "com.brisca.user-email"); }
    void recordValueForInternalKey(const std::string& value, const std::string& key);
    BRSUserLoggingKVStorage internalKVStorage() const;
    uint32_t internalKVCounter() const { return internalKVCounter_; }

private:
    std::shared_ptr<BRSInternalReport> internalReport_;
    std::string incrementalPath_;
    std::string compactedPath_;
    uint32_t internalKVCounter_ = 0;
};
