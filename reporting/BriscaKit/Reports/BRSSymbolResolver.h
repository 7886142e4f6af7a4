#pragma once
// Symbolication at a later launch: recorded return addresses become symbol
// names with library and offset, through the images the crashed execution
// had loaded and the same images (by build ID) loaded now, or their files
// when this process has not loaded them.

#include "reporting/BriscaKit/CrashTime/BRSBinaryImage.h"
#include "reporting/BriscaKit/BRSStackFrame.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class BRSSymbolResolver {
public:
    bool loadBinaryImagesFromFile(const std::string& path);
    std::optional<nlohmann::json> loadedBinaryImageForPC(uint64_t pc) const;
    // A frame for the address, answered only when it resolves.
    std::optional<BRSStackFrame> frameForAddress(uint64_t address, bool isReturnAddress = true) const;
    // A frame in a recorded image gets the image's file name as its library
    // and its offset in it; answers whether a symbol names it too (then the
    // offset is the one from the symbol's start). A return address belongs
    // to the call before it; the first frame of a thread is where it stopped
    // and is looked up as it stands.
    bool updateStackFrame(BRSStackFrame& frame, bool isReturnAddress = true) const;

    const std::vector<nlohmann::json>& binaryImages() const { return binaryImages_; }

private:
    struct Symbol {
        std::string name;
        uint64_t start = 0;  // in the process
    };
    struct ImageSymbols;
    const ImageSymbols& symbolsOf(const std::string& path) const;
    std::optional<Symbol> functionAt(const BRSBinaryImageDetails& image, uint64_t address, bool loadedHere) const;

    std::vector<nlohmann::json> binaryImages_;  // "load" records, in file order
    // Each image file's symbols, read once per resolver.
    mutable std::map<std::string, std::shared_ptr<const ImageSymbols>> imageSymbols_;
};

// Operations over threads, each an array of frames in stack order.
class BRSThreadArrayOperation {
public:
    virtual ~BRSThreadArrayOperation();
    explicit BRSThreadArrayOperation(std::vector<std::vector<BRSStackFrame>> threads);
    virtual void main() = 0;
    // May be called from any thread while main runs.
    void cancel();
    bool isCancelled() const;
    // Calls block with each frame and its index in its thread; stops once
    // the operation is cancelled.
    void enumerateFramesWithBlock(const std::function<void(BRSStackFrame&, size_t index)>& block);

    std::vector<std::vector<BRSStackFrame>> threadArray;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

class BRSSymbolicationOperation : public BRSThreadArrayOperation {
public:
    BRSSymbolicationOperation(std::vector<std::vector<BRSStackFrame>> threads, const BRSSymbolResolver& resolver)
        : BRSThreadArrayOperation(std::move(threads)), symbolResolver(resolver) {}
    void main() override;
    const BRSSymbolResolver& symbolResolver;
};

class BRSDemangleOperation : public BRSThreadArrayOperation {
public:
    using BRSThreadArrayOperation::BRSThreadArrayOperation;
    void main() override;
    static std::optional<std::string> demangleSymbol(const char* name);
    static std::optional<std::string> demangleCppSymbol(const char* name);
    static std::optional<std::string> demangleBlockInvokeCppSymbol(const char* name);
    static std::optional<std::string> demangleSwiftSymbol(const char* name);
};
