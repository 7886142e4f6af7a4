#pragma once
// Everything crash-time code needs, handed once to BRSContextInitialize,
// which copies it; the record itself is not kept.

#include <cstdint>
#include <string>

// The reporting controller: told about crashes by the crash-time code.
class BRSCrashReporterTarget {
public:
    virtual ~BRSCrashReporterTarget() = default;
    // A report worth submitting at once was written (an exception crash).
    virtual void potentiallySubmittableCrashOccurred() = 0;
    // Called on the crashed thread once the crash is recorded.
    virtual void deliverCrashDelegateCallback() = 0;
};

struct BRSCrashReporterConfiguration {
    std::string apiKey;
    BRSCrashReporterTarget* urgentSubmissionTarget = nullptr;
    bool firstInstall = false;
    BRSCrashReporterTarget* crashCallbackTarget = nullptr;
    std::string customBundleIdentifier;
    std::string reportDirectory;
    std::string reportIdentifier;
    std::string installationIdentifier;
    std::string betaToken;
    // Hardware-fault kinds (BRSExceptionMask bits) left to the signal handlers.
    uint32_t machExceptionsLeftToSignals = 0;
    bool errorReportingEnabled = false;
    bool customExceptionsEnabled = false;
    uint32_t maximumCustomExceptions = 0;
    uint32_t errorLogBufferSize = 0;
    uint32_t logBufferSize = 0;
    uint32_t maximumCustomKeys = 0;
};
