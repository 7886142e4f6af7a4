#include "bench/BenchCommand.h"

#include <QCoreApplication>
#include <cstdio>
#include <sys/resource.h>

namespace tolvan::bench {

std::map<std::string, Registered>& commands()
{
    static std::map<std::string, Registered> registry;
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
    auto& commands = tolvan::bench::commands();
    const auto chosen = argc > 1 ? commands.find(argv[1]) : commands.end();
    const auto app = chosen != commands.end() && chosen->second.makeApplication
        ? chosen->second.makeApplication(argc, argv)
        : std::make_unique<QCoreApplication>(argc, argv);
    QStringList arguments = app->arguments();
    arguments.removeFirst();
    if (chosen == commands.end()) {
        std::fprintf(stderr, "usage: tolvan-bench COMMAND ...\ncommands:");
        for (const auto& [name, command] : commands)
            std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    arguments.removeFirst();
    return chosen->second.command(arguments);
}
