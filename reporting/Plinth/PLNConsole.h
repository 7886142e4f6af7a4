#pragma once
// The kit's console lines and its debug switch. Lines go to standard error,
// or to a sink a test installs. The switch may be read from any thread.

#include <functional>
#include <string>

namespace pln {

void PLNLog(const std::string& line);
// Writes the line only when the kit's debug switch is on.
void PLNDebugLog(const std::string& line);

bool PLNDebugEnabled();
void PLNSetDebugEnabled(bool enabled);

// Replaces standard error; null puts it back.
void PLNSetConsoleSink(std::function<void(const std::string&)> sink);

}  // namespace pln
