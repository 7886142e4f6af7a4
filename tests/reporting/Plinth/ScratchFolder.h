#pragma once
// A folder of its own for each test, removed afterwards.

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace reportingtest {

class ScratchFolder {
public:
    ScratchFolder()
    {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() / ("kit-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }

    std::string path() const { return path_.string(); }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        const auto file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }
    static void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    static std::string read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path path_;
};

}  // namespace reportingtest
