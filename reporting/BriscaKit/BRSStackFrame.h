#pragma once
// One frame of a thread's stack, as recorded and as symbolication fills it.

#include <cstdint>
#include <optional>
#include <string>

struct BRSStackFrame {
    std::optional<std::string> symbol;
    std::optional<std::string> library;
    std::optional<std::string> fileName;
    uint32_t lineNumber = 0;
    uint64_t offset = 0;
    uint64_t address = 0;

    static BRSStackFrame stackFrameWithAddress(uint64_t address);
    static BRSStackFrame stackFrameWithSymbol(const std::string& symbol);
    std::string description() const;
};
