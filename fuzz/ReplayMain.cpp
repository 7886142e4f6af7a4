// The entry point of a fuzz target built without libFuzzer: it passes each
// file named on the command line, or each file inside a named folder, to
// the target once. The sanitizers of the build report what goes wrong;
// a target that returns does not fail.
//
//   fuzz_NAME [--skip LIST] PATH...   LIST holds lines "NAME/FILE ..." of
//                                     inputs of known faults, left out here

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::set<std::string> listedInputs(const char* listPath)
{
    std::set<std::string> listed;
    std::ifstream list(listPath);
    for (std::string line; std::getline(list, line);)
        if (const auto end = line.find_first_of(" \t"); !line.empty())
            listed.insert(line.substr(0, end));
    return listed;
}

std::vector<fs::path> inputsOf(const fs::path& path)
{
    if (!fs::is_directory(path))
        return {path};
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(path))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    return files;
}

}  // namespace

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    const std::string target = fs::path(argv[0]).filename().string().substr(sizeof("fuzz_") - 1);
    std::set<std::string> skipped;
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--skip" && i + 1 < argc) {
            skipped = listedInputs(argv[++i]);
            continue;
        }
        for (const fs::path& file : inputsOf(argv[i])) {
            if (skipped.count(target + "/" + file.filename().string()))
                continue;
            std::ifstream in(file, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 1;
            }
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::printf("%s: %d inputs replayed\n", target.c_str(), replayed);
    return replayed > 0 ? 0 : 1;
}
