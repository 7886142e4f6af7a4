#pragma once
// What crash capture needs to know of the kit's runtime: where the kit's
// folders are, who the application is and what it runs on. The kit runtime
// implements it; tests pass a fake.

#include <string>

class BRSRuntime {
public:
    virtual ~BRSRuntime() = default;
    virtual std::string cachesDirectory() const = 0;
    virtual std::string documentsDirectory() const = 0;
    virtual std::string bundleIdentifier() const = 0;
    virtual std::string bundleBuildVersion() const = 0;
    virtual std::string bundleDisplayVersion() const = 0;
    virtual std::string hostModel() const = 0;
    virtual std::string osBuildVersion() const = 0;
    virtual std::string osDisplayVersion() const = 0;
    // Whether the kit's optional console lines are written.
    virtual bool debug() const = 0;
};

// The bundle identifier as one path component: every "/" becomes "_".
std::string BRSSanitizedBundleIdentifier(const BRSRuntime& runtime);
