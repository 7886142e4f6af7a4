#pragma once
// The layout of the kit's report tree and every move, removal and listing in
// it:
//   root = caches / "com.brisca.data" / sanitised bundle identifier
//   root / "v3" / {"active", "pending", "processing", "prepared"}
//   root / "sendable" marks an earlier layout: the whole root is obsolete.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BRSRuntime;

class BRSFileManager {
public:
    explicit BRSFileManager(const BRSRuntime& runtime);
    ~BRSFileManager();

    std::string rootPath() const;
    std::string structurePath() const;
    std::string activePath() const;
    std::string pendingPath() const;
    std::string processingPath() const;
    std::string preparedPath() const;
    std::string pathNamespace() const;

    // Full paths of the entries whose names do not begin with ".".
    std::vector<std::string> contentsOfDirectory(const std::string& path) const;
    std::vector<std::string> activePathContents() const;
    std::vector<std::string> processingPathContents() const;
    std::vector<std::string> preparedPathContents() const;
    std::optional<uint64_t> fileSizeAtPath(const std::string& path) const;

    bool prepareForNewLaunch();
    std::optional<std::string> setupNewPathForExecutionIdentifier(const std::string& identifier);
    void removeLegacyDirectories();

    bool createDirectoryAtPath(const std::string& path);
    bool removeItemAtPath(const std::string& path);
    bool moveItemAtPath(const std::string& path, const std::string& directory);

    using FileBlock = std::function<void(const std::string& path, const std::string& extension)>;
    void enumerateFilesInDirectory(const std::string& directory, const FileBlock& block) const;
    void enumerateFilesInActiveDirectory(const FileBlock& block) const;
    void enumerateFilesInPreparedDirectory(const FileBlock& block) const;

    bool removeContentsOfDirectoryAtPath(const std::string& path);
    bool moveItemsFromDirectory(const std::string& source, const std::string& destination);
    bool movePendingToProcessing();
    bool moveProcessingContentsToPrepared();
    bool removeContentsOfPendingPath();
    bool removeContentsOfProcessingPath();
    bool removeContentsOfAllPaths();

private:
    const BRSRuntime& runtime_;
    // The root folder's path, worked out once.
    struct Private;
    std::unique_ptr<Private> d;
};
