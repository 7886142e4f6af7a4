#pragma once
// Subcommands of tolvan-bench register themselves by name; each prints one
// JSON line on stdout and answers the process exit code.

#include <QCoreApplication>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace tolvan::bench {

using Command = std::function<int(const QStringList& arguments)>;
// Makes the application object a command runs in; commands without one run
// in a QCoreApplication, so they load no interface libraries of their own.
using ApplicationFactory = std::function<std::unique_ptr<QCoreApplication>(int& argc, char** argv)>;

struct Registered {
    Command command;
    ApplicationFactory makeApplication;
};
std::map<std::string, Registered>& commands();

struct Registration {
    Registration(const std::string& name, Command command, ApplicationFactory makeApplication = {})
    {
        commands()[name] = {std::move(command), std::move(makeApplication)};
    }
};

// Peak resident memory of this process in bytes.
long long peakResidentBytes();

}  // namespace tolvan::bench
