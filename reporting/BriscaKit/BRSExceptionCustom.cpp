#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSException.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"
#include "reporting/BriscaKit/CrashTime/BRSProcess.h"


namespace {

bool isCrash(BRSExceptionKind kind) { return kind == BRSExceptionKind::ObjectiveC || kind == BRSExceptionKind::Cpp; }

void writeFrames(BRSFile* file, const std::vector<BRSStackFrame>& frames)
{
    if (frames.empty())
        return;
    BRSFileWriteHashKey(file, "frames");
    BRSFileWriteArrayStart(file);
    for (const auto& frame : frames) {
        BRSFileWriteHashStart(file);
        BRSFileWriteHashEntryUint64(file, "pc", frame.address);
        if (frame.symbol)
            BRSFileWriteHashEntryHexEncodedString(file, "symbol", frame.symbol->c_str());
        BRSFileWriteHashEntryUint64(file, "offset", frame.offset);
        if (frame.library)
            BRSFileWriteHashEntryHexEncodedString(file, "library", frame.library->c_str());
        if (frame.fileName)
            BRSFileWriteHashEntryHexEncodedString(file, "file", frame.fileName->c_str());
        BRSFileWriteHashEntryUint64(file, "line", frame.lineNumber);
        BRSFileWriteHashEnd(file);
    }
    BRSFileWriteArrayEnd(file);
}

}  // namespace

void BRSExceptionRecord(BRSExceptionKind kind, const char* name, const char* reason,
                        const std::vector<BRSStackFrame>& frames, bool notify)
{
    if (!BRSContextIsInitialized())
        return;
    const bool crash = isCrash(kind);
    std::lock_guard queue(BRSExceptionQueue());
    if (!crash) {
        uint32_t& counter = gBRSContext->writable->customExceptionCounter;
        if (counter >= gBRSContext->exception.maxCustomExceptions)
            return;
        ++counter;
    }
    BRSFile file;
    if (!BRSFileInitWithPath(&file, crash ? gBRSContext->exception.path : gBRSContext->exception.customPath)) {
        BRSSDKLog("%s: Unable to open exception file\n", __func__);
        return;
    }
    BRSExceptionWriteHeader(&file, kind, name, reason);
    writeFrames(&file, frames);
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    if (crash)
        BRSHandler(&file, BRSCurrentThreadID(), nullptr);
    BRSFileClose(&file);
    if (crash && notify && gBRSContext->urgentSubmissionTarget)
        gBRSContext->urgentSubmissionTarget->potentiallySubmittableCrashOccurred();
}
