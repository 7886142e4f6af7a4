// Crash-time code: the terminate handler records on the crashing thread
// without the exception queue (no locks), and names the exception's type in
// its readable form through the kit's non-allocating demangler.
#include "reporting/BriscaKit/CrashTime/BRSException.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSDemangle.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"
#include "reporting/BriscaKit/CrashTime/BRSProcess.h"

#include <cerrno>
#include <cstdlib>
#include <cxxabi.h>
#include <string>
#include <typeinfo>

const char* BRSExceptionTypeText(BRSExceptionKind kind)
{
    switch (kind) {
    case BRSExceptionKind::ObjectiveC: return "objective-c";
    case BRSExceptionKind::Cpp: return "c++";
    case BRSExceptionKind::JavaScript: return "javascript";
    case BRSExceptionKind::Custom: return "custom";
    }
    return "unknown";
}

void BRSExceptionWriteHeader(BRSFile* file, BRSExceptionKind kind, const char* name, const char* reason)
{
    BRSFileWriteSectionStart(file, "exception");
    BRSFileWriteHashStart(file);
    BRSFileWriteHashEntryString(file, "type", BRSExceptionTypeText(kind));
    BRSFileWriteHashEntryHexEncodedString(file, "name", name);
    BRSFileWriteHashEntryHexEncodedString(file, "reason", reason);
    BRSFileWriteHashEntryUint64(file, "time", BRSWallClockSeconds());
}

namespace {

// The reason of the current exception, by the first matching kind.
const char* currentReason()
{
    try {
        throw;
    } catch (const char* text) {
        return text ? text : "";
    } catch (const std::string& text) {
        return text.c_str();
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (const std::exception* exception) {
        return exception ? exception->what() : "";
    } catch (...) {
    }
    return "";
}

void recordCurrentException()
{
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type || !BRSContextIsInitialized())
        return;
    // The first crash-time handler claims the crash: abort's signal that
    // follows finds it claimed and does not record a second crash.
    if (BRSContextMarkAndCheckIfCrashed())
        return;
    char readableName[512];
    const char* name = BRSDemangleCppInto(type->name(), readableName, sizeof readableName);
    const char* reason = currentReason();
    BRSFile file;
    if (!BRSFileInitWithPath(&file, gBRSContext->exception.path)) {
        BRSSDKLog("%s: Unable to open exception file\n", "BRSExceptionRecord");
        BRSContextMarkRecordingDone();
        return;
    }
    BRSExceptionWriteHeader(&file, BRSExceptionKind::Cpp, name, reason);
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    BRSHandler(&file, BRSCurrentThreadID(), nullptr);
    BRSFileClose(&file);
    if (gBRSContext->urgentSubmissionTarget)
        gBRSContext->urgentSubmissionTarget->potentiallySubmittableCrashOccurred();
}

}  // namespace

void BRSTerminateHandler()
{
    recordCurrentException();
    std::terminate_handler previous = BRSContextIsInitialized() ? gBRSContext->exception.previousTerminateHandler : nullptr;
    if (previous && previous != BRSTerminateHandler)
        previous();
    std::abort();
}
