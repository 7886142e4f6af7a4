#include "reporting/BriscaKit/BRSSymbolResolver.h"

#include "reporting/BriscaKit/BRSBinaryImage.h"
#include "reporting/BriscaKit/BRSDemangle.h"
#include "reporting/BriscaKit/BRSFile.h"
#include "reporting/Plinth/PLNIdentity.h"

#include <algorithm>
#include <atomic>
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

// An image file mapped for reading, unmapped when it goes.
class MappedFile {
public:
    explicit MappedFile(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat info{};
        if (::fstat(fd, &info) == 0 && info.st_size >= off_t(sizeof(Elf64_Ehdr))) {
            void* mapping = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (mapping != MAP_FAILED) {
                bytes_ = static_cast<const uint8_t*>(mapping);
                size_ = size_t(info.st_size);
            }
        }
        ::close(fd);
    }
    ~MappedFile()
    {
        if (bytes_)
            ::munmap(const_cast<uint8_t*>(bytes_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // The ELF header, when the file is one.
    const Elf64_Ehdr* header() const
    {
        return bytes_ && std::memcmp(bytes_, ELFMAG, SELFMAG) == 0 ? reinterpret_cast<const Elf64_Ehdr*>(bytes_) : nullptr;
    }
    bool holds(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
    const uint8_t* at(uint64_t offset) const { return bytes_ + offset; }

private:
    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
};

// The nearest function symbol at or below an address, from the image file's
// own symbol table (which names the functions the dynamic table leaves out).
std::optional<Symbol> symbolFromSymbolTable(const std::string& path, uint64_t loadBias, uint64_t address)
{
    const MappedFile file(path);
    const Elf64_Ehdr* header = file.header();
    if (!header || header->e_shoff == 0 || !file.holds(header->e_shoff, uint64_t(header->e_shnum) * sizeof(Elf64_Shdr)))
        return std::nullopt;
    const auto* bytes = file.at(0);
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(bytes + header->e_shoff);
    const uint64_t fileAddress = address - loadBias;
    std::optional<Symbol> best;
    for (unsigned i = 0; i < header->e_shnum; ++i) {
        const Elf64_Shdr& table = sections[i];
        if (table.sh_type != SHT_SYMTAB || table.sh_link >= header->e_shnum || !file.holds(table.sh_offset, table.sh_size))
            continue;
        const Elf64_Shdr& strings = sections[table.sh_link];
        if (!file.holds(strings.sh_offset, strings.sh_size))
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

// The UUID text of a note segment's GNU build ID (its first 16 bytes), or
// the empty string.
std::string buildIDInNotes(const MappedFile& file, const Elf64_Phdr& notes)
{
    const uint64_t end = notes.p_offset + notes.p_filesz;
    for (uint64_t at = notes.p_offset; at < end && file.holds(at, sizeof(Elf64_Nhdr));) {
        const auto* note = reinterpret_cast<const Elf64_Nhdr*>(file.at(at));
        const uint64_t name = at + sizeof *note;
        const uint64_t description = name + ((uint64_t(note->n_namesz) + 3) & ~uint64_t(3));
        if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 && note->n_descsz >= 16 && file.holds(name, 4) &&
            std::memcmp(file.at(name), "GNU", 4) == 0 && file.holds(description, 16))
            return pln::PLNHexStringFromData(std::string_view(reinterpret_cast<const char*>(file.at(description)), 16));
        at = description + ((uint64_t(note->n_descsz) + 3) & ~uint64_t(3));
    }
    return {};
}

// An image the crashed run had loaded and this process has not: its file,
// when the file's build ID still gives the recorded UUID, placed where the
// crashed run had it.
std::optional<BRSBinaryImageDetails> imageFromFile(const std::string& path, const std::string& uuid, uint64_t base)
{
    const MappedFile file(path);
    const Elf64_Ehdr* header = file.header();
    if (!header || header->e_phentsize != sizeof(Elf64_Phdr) ||
        !file.holds(header->e_phoff, uint64_t(header->e_phnum) * sizeof(Elf64_Phdr)))
        return std::nullopt;
    const auto* segments = reinterpret_cast<const Elf64_Phdr*>(file.at(header->e_phoff));
    uint64_t lowest = UINT64_MAX;
    std::string buildID;
    for (unsigned i = 0; i < header->e_phnum; ++i) {
        if (segments[i].p_type == PT_LOAD)
            lowest = std::min<uint64_t>(lowest, segments[i].p_vaddr);
        else if (segments[i].p_type == PT_NOTE && buildID.empty())
            buildID = buildIDInNotes(file, segments[i]);
    }
    if (lowest == UINT64_MAX || buildID != uuid)
        return std::nullopt;
    BRSBinaryImageDetails image{};
    image.path = path;
    image.node.baseAddress = base;
    image.loadBias = base - lowest;
    return image;
}

// The symbol at an address of the image; the dynamic linker is asked too
// when the image is loaded in this process.
std::optional<Symbol> nearestSymbol(const BRSBinaryImageDetails& image, uint64_t address, bool loadedHere)
{
    std::optional<Symbol> found;
    Dl_info info{};
    if (loadedHere && dladdr(reinterpret_cast<void*>(address), &info) && info.dli_sname && info.dli_saddr)
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
    return true;
}

std::optional<json> BRSSymbolResolver::loadedBinaryImageForPC(uint64_t pc) const
{
    // The latest load at an address is the image that was there last: a
    // library closed and another opened in its place both have records.
    for (auto it = binaryImages_.rbegin(); it != binaryImages_.rend(); ++it) {
        const json& image = *it;
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
    const std::string uuid = (*recorded)["uuid"].get<std::string>();
    const uint64_t recordedBase = (*recorded)["base"].get<uint64_t>();
    BRSBinaryImageDetails image;
    const bool loadedHere = BRSBinaryImageFindImageForUUID(uuid.c_str(), &image);
    if (!loadedHere) {
        auto fromFile = recorded->contains("path") && (*recorded)["path"].is_string()
                            ? imageFromFile((*recorded)["path"].get<std::string>(), uuid, recordedBase)
                            : std::nullopt;
        if (!fromFile)
            return false;
        image = std::move(*fromFile);
    }
    const uint64_t local = image.node.baseAddress + (frame.address - recordedBase);
    auto symbol = nearestSymbol(image, local, loadedHere);
    if (!symbol)
        return false;
    if (isReturnAddress && symbol->start == local) {
        // The call that returns here ends the function before this one.
        symbol = nearestSymbol(image, local - 2, loadedHere);
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

struct BRSThreadArrayOperation::Private {
    std::atomic<bool> cancelled{false};
};

BRSThreadArrayOperation::BRSThreadArrayOperation(std::vector<std::vector<BRSStackFrame>> threads)
    : threadArray(std::move(threads)), d(std::make_unique<Private>())
{
}

BRSThreadArrayOperation::~BRSThreadArrayOperation() = default;

void BRSThreadArrayOperation::cancel() { d->cancelled = true; }

bool BRSThreadArrayOperation::isCancelled() const { return d->cancelled; }

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
