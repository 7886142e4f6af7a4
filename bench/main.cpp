#include "bench/BenchCommand.h"

#include <QCoreApplication>
#include <cstdio>
#include <sys/resource.h>

namespace tolvan::bench {

std::map<std::string, Command>& commands()
{
    static std::map<std::string, Command> registry;
    return registry;
}

long long peakResidentBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

}  // namespace tolvan::bench

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    auto& commands = tolvan::bench::commands();
    if (arguments.isEmpty() || !commands.count(arguments.first().toStdString())) {
        std::fprintf(stderr, "usage: tolvan-bench COMMAND ...\ncommands:");
        for (const auto& [name, command] : commands)
            std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    const std::string name = arguments.takeFirst().toStdString();
    return commands[name](arguments);
}
