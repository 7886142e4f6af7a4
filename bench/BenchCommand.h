#pragma once
// Subcommands of tolvan-bench register themselves by name; each prints one
// JSON line on stdout and answers the process exit code.

#include <QStringList>

#include <functional>
#include <map>
#include <string>

namespace tolvan::bench {

using Command = std::function<int(const QStringList& arguments)>;

std::map<std::string, Command>& commands();

struct Registration {
    Registration(const std::string& name, Command command) { commands()[name] = std::move(command); }
};

// Peak resident memory of this process in bytes.
long long peakResidentBytes();

}  // namespace tolvan::bench
