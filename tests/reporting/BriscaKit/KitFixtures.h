#pragma once
// Shared by the crash-capture tests: a fake of the kit runtime, scratch
// folders, and the crash-time context started in a scratch report folder.

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"
#include "reporting/BriscaKit/BRSRuntime.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

namespace brstest {

class FakeRuntime : public BRSRuntime {
public:
    explicit FakeRuntime(std::string caches = {}) : caches_(std::move(caches)) {}
    std::string cachesDirectory() const override { return caches_; }
    std::string documentsDirectory() const override { return caches_.empty() ? "/" : caches_; }
    std::string bundleIdentifier() const override { return bundleIdentifier_; }
    std::string bundleBuildVersion() const override { return "7"; }
    std::string bundleDisplayVersion() const override { return "1.2"; }
    std::string hostModel() const override { return "TestBox1,1"; }
    std::string osBuildVersion() const override { return "12.0"; }
    std::string osDisplayVersion() const override { return "Debian 12"; }
    bool debug() const override { return false; }
    std::string bundleIdentifier_ = "com.kestrova.tolvan";

private:
    std::string caches_;
};

// A fresh folder, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "brisca-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }

private:
    std::string path_;
};

inline std::vector<nlohmann::json> records(const std::string& path)
{
    return BRSFileReadSections(path, false).value_or(std::vector<nlohmann::json>{});
}

inline std::string hexDecoded(const nlohmann::json& value) { return BRSDecodeHexString(value).value_or("<not hex>"); }

inline std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Makes process_vm_readv fail with EPERM in this thread and every thread it
// starts from now on, as a seccomp policy of a container does; answers
// whether the call is refused now.
inline bool refuseProcessVMRead()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_process_vm_readv, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{sizeof filter / sizeof filter[0], filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        return false;
    char byte = 0;
    iovec local{&byte, 1}, remote{&byte, 1};
    return ::syscall(SYS_process_vm_readv, ::getpid(), &local, 1, &remote, 1, 0) == -1 && errno == EPERM;
}

inline BRSCrashReporterConfiguration configurationFor(const std::string& reportDirectory)
{
    BRSCrashReporterConfiguration configuration;
    configuration.apiKey = "0123456789abcdef";
    configuration.reportDirectory = reportDirectory;
    configuration.reportIdentifier = "feedface";
    configuration.installationIdentifier = "install-1";
    configuration.errorReportingEnabled = true;
    configuration.customExceptionsEnabled = true;
    configuration.maximumCustomExceptions = 16;
    configuration.errorLogBufferSize = 64 * 1024;
    configuration.logBufferSize = 64 * 1024;
    configuration.maximumCustomKeys = 64;
    return configuration;
}

}  // namespace brstest
