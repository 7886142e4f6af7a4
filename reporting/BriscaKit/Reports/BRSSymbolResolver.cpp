#include "reporting/BriscaKit/Reports/BRSSymbolResolver.h"

#include "reporting/BriscaKit/CrashTime/BRSBinaryImage.h"
#include "reporting/BriscaKit/CrashTime/BRSDemangle.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"
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

// A function of an image's symbol table, at its address in the file.
struct FileSymbol {
    uint64_t start = 0;
    uint64_t size = 0;
    std::string name;
};

// An image's function symbols of one table, sorted by address.
using FunctionTable = std::vector<FileSymbol>;

FunctionTable functionsOfTable(const MappedFile& file, uint32_t tableType)
{
    FunctionTable functions;
    const Elf64_Ehdr* header = file.header();
    if (!header || header->e_shoff == 0 || header->e_shentsize != sizeof(Elf64_Shdr) ||
        !file.holds(header->e_shoff, uint64_t(header->e_shnum) * sizeof(Elf64_Shdr)))
        return functions;
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(file.at(header->e_shoff));
    for (unsigned i = 0; i < header->e_shnum; ++i) {
        const Elf64_Shdr& table = sections[i];
        if (table.sh_type != tableType || table.sh_link >= header->e_shnum || !file.holds(table.sh_offset, table.sh_size))
            continue;
        const Elf64_Shdr& strings = sections[table.sh_link];
        if (strings.sh_type != SHT_STRTAB || !file.holds(strings.sh_offset, strings.sh_size))
            continue;
        const auto* symbols = reinterpret_cast<const Elf64_Sym*>(file.at(table.sh_offset));
        const auto* names = reinterpret_cast<const char*>(file.at(strings.sh_offset));
        for (size_t s = 0; s < table.sh_size / sizeof(Elf64_Sym); ++s) {
            const Elf64_Sym& symbol = symbols[s];
            if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_shndx == SHN_UNDEF || symbol.st_value == 0 ||
                symbol.st_name >= strings.sh_size)
                continue;
            const char* name = names + symbol.st_name;
            functions.push_back({symbol.st_value, symbol.st_size, std::string(name, strnlen(name, strings.sh_size - symbol.st_name))});
        }
    }
    std::sort(functions.begin(), functions.end(), [](const FileSymbol& a, const FileSymbol& b) { return a.start < b.start; });
    return functions;
}

// The function that holds the file address: the nearest one at or below it
// whose extent covers it (a symbol without a size covers only its start).
const FileSymbol* functionHolding(const FunctionTable& functions, uint64_t address)
{
    auto after = std::upper_bound(functions.begin(), functions.end(), address,
                                  [](uint64_t value, const FileSymbol& symbol) { return value < symbol.start; });
    for (auto it = after; it != functions.begin();) {
        --it;
        if (address < it->start + std::max<uint64_t>(it->size, 1))
            return &*it;
        if (it->size)  // sized symbols below it end earlier or overlap it
            return nullptr;
    }
    return nullptr;
}

// The GNU build ID in notes at a file offset, as hexadecimal (all of it,
// or its first 16 bytes: the UUID an image is recorded by), or the empty
// string.
std::string buildIDInNotes(const MappedFile& file, uint64_t offset, uint64_t size, bool whole)
{
    const uint64_t end = offset + size;
    for (uint64_t at = offset; at < end && file.holds(at, sizeof(Elf64_Nhdr));) {
        const auto* note = reinterpret_cast<const Elf64_Nhdr*>(file.at(at));
        const uint64_t name = at + sizeof *note;
        const uint64_t description = name + ((uint64_t(note->n_namesz) + 3) & ~uint64_t(3));
        if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 && note->n_descsz >= 16 && file.holds(name, 4) &&
            std::memcmp(file.at(name), "GNU", 4) == 0 && file.holds(description, note->n_descsz))
            return pln::PLNHexStringFromData(
                std::string_view(reinterpret_cast<const char*>(file.at(description)), whole ? note->n_descsz : 16));
        at = description + ((uint64_t(note->n_descsz) + 3) & ~uint64_t(3));
    }
    return {};
}

// The build ID of a file by its note sections (a detached debug file keeps
// them though its segments hold nothing).
std::string buildIDInSections(const MappedFile& file)
{
    const Elf64_Ehdr* header = file.header();
    if (!header || header->e_shoff == 0 || header->e_shentsize != sizeof(Elf64_Shdr) ||
        !file.holds(header->e_shoff, uint64_t(header->e_shnum) * sizeof(Elf64_Shdr)))
        return {};
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(file.at(header->e_shoff));
    for (unsigned i = 0; i < header->e_shnum; ++i)
        if (sections[i].sh_type == SHT_NOTE)
            if (auto id = buildIDInNotes(file, sections[i].sh_offset, sections[i].sh_size, true); !id.empty())
                return id;
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
            buildID = buildIDInNotes(file, segments[i].p_offset, segments[i].p_filesz, false);
    }
    if (lowest == UINT64_MAX || buildID != uuid)
        return std::nullopt;
    BRSBinaryImageDetails image{};
    image.path = path;
    image.node.baseAddress = base;
    image.loadBias = base - lowest;
    return image;
}

// Where the system keeps the detached debug files of its libraries, each
// named by its build ID.
constexpr const char* kDebugFilesByBuildID = "/usr/lib/debug/.build-id/";

}  // namespace

// What symbolication knows of an image file: its full symbol table (its own
// .symtab, or that of its detached debug file, which names the functions a
// stripped library keeps to itself), then its dynamic symbols.
struct BRSSymbolResolver::ImageSymbols {
    FunctionTable full;
    FunctionTable dynamic;

    explicit ImageSymbols(const std::string& path)
    {
        const MappedFile file(path);
        full = functionsOfTable(file, SHT_SYMTAB);
        if (const std::string id = buildIDInSections(file); full.empty() && id.size() > 2) {
            const MappedFile debug(kDebugFilesByBuildID + id.substr(0, 2) + "/" + id.substr(2) + ".debug");
            if (buildIDInSections(debug) == id)
                full = functionsOfTable(debug, SHT_SYMTAB);
        }
        dynamic = functionsOfTable(file, SHT_DYNSYM);
    }
};

const BRSSymbolResolver::ImageSymbols& BRSSymbolResolver::symbolsOf(const std::string& path) const
{
    auto& symbols = imageSymbols_[path];
    if (!symbols)
        symbols = std::make_shared<const ImageSymbols>(path);
    return *symbols;
}

// The function that holds an address of the image: from its full symbol
// table, then from its dynamic symbols (the dynamic linker's, when this
// process has it loaded).
std::optional<BRSSymbolResolver::Symbol> BRSSymbolResolver::functionAt(const BRSBinaryImageDetails& image,
                                                                       uint64_t address, bool loadedHere) const
{
    const ImageSymbols& symbols = symbolsOf(image.path);
    if (const FileSymbol* symbol = functionHolding(symbols.full, address - image.loadBias))
        return Symbol{symbol->name, symbol->start + image.loadBias};
    Dl_info info{};
    if (loadedHere) {
        if (dladdr(reinterpret_cast<void*>(address), &info) && info.dli_sname && info.dli_saddr)
            return Symbol{info.dli_sname, uint64_t(uintptr_t(info.dli_saddr))};
    } else if (const FileSymbol* symbol = functionHolding(symbols.dynamic, address - image.loadBias)) {
        return Symbol{symbol->name, symbol->start + image.loadBias};
    }
    return std::nullopt;
}

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
    if (!recorded)
        return false;
    // Whatever else is known, the frame is placed in its image: a developer
    // finds an unnamed function from the library's offset.
    const uint64_t recordedBase = (*recorded)["base"].get<uint64_t>();
    const std::string path = recorded->value("path", json()).is_string() ? (*recorded)["path"].get<std::string>() : "";
    if (!path.empty())
        frame.library = std::filesystem::path(path).filename().string();
    frame.offset = frame.address - recordedBase;
    if (!recorded->contains("uuid") || !(*recorded)["uuid"].is_string())
        return false;
    const std::string uuid = (*recorded)["uuid"].get<std::string>();
    BRSBinaryImageDetails image;
    const bool loadedHere = BRSBinaryImageFindImageForUUID(uuid.c_str(), &image);
    if (!loadedHere) {
        auto fromFile = path.empty() ? std::nullopt : imageFromFile(path, uuid, recordedBase);
        if (!fromFile)
            return false;
        image = std::move(*fromFile);
    }
    const uint64_t local = image.node.baseAddress + (frame.address - recordedBase);
    // A return address follows its call, which may be the last instruction
    // of its function (a call that does not return): the byte before it
    // belongs to the caller.
    const auto symbol = functionAt(image, isReturnAddress ? local - 1 : local, loadedHere);
    if (!symbol)
        return false;
    frame.symbol = symbol->name;
    frame.offset = local - symbol->start;
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
