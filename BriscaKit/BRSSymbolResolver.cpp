#include "BriscaKit/BRSSymbolResolver.h"

#include "BriscaKit/BRSBinaryImage.h"
#include "BriscaKit/BRSDemangle.h"
#include "BriscaKit/BRSFile.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using nlohmann::json;

BRSStackFrame BRSStackFrame::stackFrameWithAddress(uint64_t address)
{
    BRSStackFrame frame;
    frame.address = address;
    return frame;
}

BRSStackFrame BRSStackFrame::stackFrameWithSymbol(const std::string& symbol)
{
    BRSStackFrame frame;
    frame.symbol = symbol;
    return frame;
}

std::string BRSStackFrame::description() const
{
    char text[64];
    const std::string name = symbol.value_or("(null)");
    if (fileName) {
        std::snprintf(text, sizeof text, "{[0x%" PRIx64 "] ", address);
        return text + *fileName + " - " + name + ":" + std::to_string(lineNumber) + "}";
    }
    std::snprintf(text, sizeof text, "{[0x%" PRIx64 " + %u] ", address, lineNumber);
    return text + name + "}";
}

namespace {

struct Symbol {
    std::string name;
    uint64_t start = 0;  // in the process
};

// The nearest function symbol at or below an address, from the image file's
// own symbol table (which names the functions the dynamic table leaves out).
std::optional<Symbol> symbolFromSymbolTable(const std::string& path, uint64_t loadBias, uint64_t address)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info{};
    void* mapping = ::fstat(fd, &info) == 0 && info.st_size > 0
                        ? ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0)
                        : MAP_FAILED;
    ::close(fd);
    if (mapping == MAP_FAILED)
        return std::nullopt;
    std::unique_ptr<void, std::function<void(void*)>> unmap(mapping, [&](void* p) { ::munmap(p, size_t(info.st_size)); });
    const auto* bytes = static_cast<const uint8_t*>(mapping);
    const size_t size = size_t(info.st_size);
    if (size < sizeof(Elf64_Ehdr) || std::memcmp(bytes, ELFMAG, SELFMAG) != 0)
        return std::nullopt;
    const auto* header = reinterpret_cast<const Elf64_Ehdr*>(bytes);
    if (header->e_shoff == 0 || header->e_shoff + uint64_t(header->e_shnum) * sizeof(Elf64_Shdr) > size)
        return std::nullopt;
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(bytes + header->e_shoff);
    const uint64_t fileAddress = address - loadBias;
    std::optional<Symbol> best;
    for (unsigned i = 0; i < header->e_shnum; ++i) {
        const Elf64_Shdr& table = sections[i];
        if (table.sh_type != SHT_SYMTAB || table.sh_link >= header->e_shnum ||
            table.sh_offset + table.sh_size > size)
            continue;
        const Elf64_Shdr& strings = sections[table.sh_link];
        if (strings.sh_offset + strings.sh_size > size)
            continue;
        const auto* symbols = reinterpret_cast<const Elf64_Sym*>(bytes + table.sh_offset);
        for (size_t s = 0; s < table.sh_size / sizeof(Elf64_Sym); ++s) {
            const Elf64_Sym& symbol = symbols[s];
            if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_value == 0 || symbol.st_value > fileAddress ||
                symbol.st_name >= strings.sh_size)
                continue;
            if (symbol.st_size && fileAddress >= symbol.st_value + symbol.st_size)
                continue;
            if (!best || symbol.st_value + loadBias > best->start)
                best = Symbol{reinterpret_cast<const char*>(bytes + strings.sh_offset + symbol.st_name),
                              symbol.st_value + loadBias};
        }
    }
    return best;
}

std::optional<Symbol> nearestSymbol(const BRSBinaryImageDetails& image, uint64_t address)
{
    std::optional<Symbol> found;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(address), &info) && info.dli_sname && info.dli_saddr)
        found = Symbol{info.dli_sname, uint64_t(uintptr_t(info.dli_saddr))};
    auto local = symbolFromSymbolTable(image.path, image.loadBias, address);
    if (local && (!found || local->start > found->start))
        found = local;
    return found;
}

}  // namespace

bool BRSSymbolResolver::loadBinaryImagesFromFile(const std::string& path)
{
    if (path.empty())
        return false;
    auto sections = BRSFileReadSections(path, false);
    if (!sections || sections->empty()) {
        std::fprintf(stderr, "[Brisca:Crash:SymbolResolver] failed to read binary image file %s\n", path.c_str());
        return false;
    }
    binaryImages_.clear();
    for (const auto& section : *sections) {
        if (!section.is_object() || !section.contains("load"))
            continue;
        const json& image = section["load"];
        if (image.is_object() && image.contains("base") && image["base"].is_number() && image.contains("size") &&
            image["size"].is_number())
            binaryImages_.push_back(image);
    }
    std::sort(binaryImages_.begin(), binaryImages_.end(), [](const json& a, const json& b) {
        return a["base"].get<uint64_t>() < b["base"].get<uint64_t>();
    });
    return true;
}

std::optional<json> BRSSymbolResolver::loadedBinaryImageForPC(uint64_t pc) const
{
    for (const auto& image : binaryImages_) {
        const uint64_t base = image["base"].get<uint64_t>(), size = image["size"].get<uint64_t>();
        if (base <= pc && pc - base < size)
            return image;
    }
    return std::nullopt;
}

std::optional<BRSStackFrame> BRSSymbolResolver::frameForAddress(uint64_t address, bool isReturnAddress) const
{
    BRSStackFrame frame = BRSStackFrame::stackFrameWithAddress(address);
    if (!updateStackFrame(frame, isReturnAddress))
        return std::nullopt;
    return frame;
}

bool BRSSymbolResolver::updateStackFrame(BRSStackFrame& frame, bool isReturnAddress) const
{
    if (frame.address == 0)
        return false;
    const auto recorded = loadedBinaryImageForPC(frame.address);
    if (!recorded || !recorded->contains("uuid") || !(*recorded)["uuid"].is_string())
        return false;
    BRSBinaryImageDetails image;
    if (!BRSBinaryImageFindImageForUUID((*recorded)["uuid"].get<std::string>().c_str(), &image))
        return false;
    const uint64_t local = image.node.baseAddress + (frame.address - (*recorded)["base"].get<uint64_t>());
    auto symbol = nearestSymbol(image, local);
    if (!symbol)
        return false;
    if (isReturnAddress && symbol->start == local) {
        // The call that returns here ends the function before this one.
        symbol = nearestSymbol(image, local - 2);
        if (!symbol)
            return false;
    }
    frame.symbol = symbol->name;
    if (local > symbol->start)
        frame.offset = local - symbol->start;
    if (recorded->contains("path") && (*recorded)["path"].is_string())
        frame.library = std::filesystem::path((*recorded)["path"].get<std::string>()).filename().string();
    return true;
}

void BRSThreadArrayOperation::enumerateFramesWithBlock(const std::function<void(BRSStackFrame&, size_t)>& block)
{
    for (auto& thread : threadArray)
        for (size_t i = 0; i < thread.size(); ++i) {
            block(thread[i], i);
            if (isCancelled())
                return;
        }
}

void BRSSymbolicationOperation::main()
{
    enumerateFramesWithBlock([this](BRSStackFrame& frame, size_t index) {
        symbolResolver.updateStackFrame(frame, index > 0);
    });
}

void BRSDemangleOperation::main()
{
    enumerateFramesWithBlock([](BRSStackFrame& frame, size_t) {
        if (!frame.symbol)
            return;
        if (auto readable = demangleSymbol(frame.symbol->c_str()))
            frame.symbol = *readable;
    });
}

std::optional<std::string> BRSDemangleOperation::demangleSymbol(const char* name)
{
    if (!name)
        return std::nullopt;
    if (std::strncmp(name, "_Z", 2) == 0)
        return demangleCppSymbol(name);
    if (std::strncmp(name, "__Z", 3) == 0)
        return demangleBlockInvokeCppSymbol(name);
    if (std::strncmp(name, "_T", 2) == 0)
        return demangleSwiftSymbol(name);
    return std::nullopt;
}

std::optional<std::string> BRSDemangleOperation::demangleCppSymbol(const char* name)
{
    std::string readable;
    auto append = [](const char* piece, size_t length, void* text) { static_cast<std::string*>(text)->append(piece, length); };
    if (!BRSDemangleCpp(name, append, &readable))
        return std::nullopt;
    return readable;
}

std::optional<std::string> BRSDemangleOperation::demangleBlockInvokeCppSymbol(const char* name)
{
    const std::string text = name;
    const size_t block = text.rfind("_block_invoke");
    if (block == std::string::npos || block < 5)
        return std::nullopt;
    const std::string function = text.substr(1, block - 1);
    auto readable = demangleSymbol(function.c_str());
    if (!readable)
        return std::nullopt;
    return *readable + text.substr(block);
}

// No Swift demangler is part of this system.
std::optional<std::string> BRSDemangleOperation::demangleSwiftSymbol(const char*) { return std::nullopt; }
