#pragma once
// Exception recording: uncaught C++ exceptions through the terminate
// handler, and custom exceptions handed to the kit. Fatal kinds go to
// "exception.brsrecord" with the crash-time records; custom kinds to
// "custom_exception.brsrecord", limited in number.

#include "reporting/BriscaKit/BRSStackFrame.h"

#include <string>
#include <vector>

enum class BRSExceptionKind { ObjectiveC = 1, Cpp = 2, JavaScript = 3, Custom = 4 };

// At start.
void BRSExceptionInitialize();
void BRSExceptionCheckHandlers();
// Outside crash time: a custom exception, or a fatal one handed in.
void BRSExceptionRecord(BRSExceptionKind kind, const char* name, const char* reason,
                        const std::vector<BRSStackFrame>& frames, bool notify);

// Crash-time.
[[noreturn]] void BRSTerminateHandler();

// Crash-time parts shared by both roads.
const char* BRSExceptionTypeText(BRSExceptionKind kind);
struct BRSFile;
void BRSExceptionWriteHeader(BRSFile* file, BRSExceptionKind kind, const char* name, const char* reason);
