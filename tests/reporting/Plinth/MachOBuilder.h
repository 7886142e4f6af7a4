#pragma once
// Builds Mach-O images byte by byte for the image reader's tests.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace reportingtest {

class MachOBuilder {
public:
    // A thin image: 64-bit unless told otherwise, in the host's byte order.
    MachOBuilder(std::int32_t cpuType, std::int32_t cpuSubtype, bool is64 = true) : cpuType_(cpuType), cpuSubtype_(cpuSubtype), is64_(is64) {}

    MachOBuilder& uuid(const std::vector<std::uint8_t>& bytes)
    {
        std::string body(16, '\0');
        for (std::size_t i = 0; i < 16 && i < bytes.size(); ++i)
            body[i] = static_cast<char>(bytes[i]);
        return command(27, body);
    }

    MachOBuilder& minimumVersion(std::uint32_t command, std::uint32_t version, std::uint32_t sdk)
    {
        return this->command(command, word(version) + word(sdk));
    }

    // A command of that number whose body follows the 8-byte head.
    MachOBuilder& command(std::uint32_t number, const std::string& body)
    {
        commands_.push_back(word(number) + word(static_cast<std::uint32_t>(8 + body.size())) + body);
        return *this;
    }

    // Raw bytes appended as a command, for corrupt sizes.
    MachOBuilder& rawCommand(const std::string& bytes)
    {
        commands_.push_back(bytes);
        return *this;
    }

    MachOBuilder& commandCount(std::uint32_t count)
    {
        countOverride_ = count;
        return *this;
    }

    std::string bytes() const
    {
        std::string commands;
        for (const auto& each : commands_)
            commands += each;
        std::string image = word(is64_ ? 0xfeedfacf : 0xfeedface) + word(static_cast<std::uint32_t>(cpuType_)) +
                            word(static_cast<std::uint32_t>(cpuSubtype_)) + word(2) +
                            word(countOverride_ ? *countOverride_ : static_cast<std::uint32_t>(commands_.size())) +
                            word(static_cast<std::uint32_t>(commands.size())) + word(0);
        if (is64_)
            image += word(0);
        return image + commands;
    }

    static std::string word(std::uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
    static std::string bigEndian(std::uint32_t value)
    {
        return std::string{static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8), static_cast<char>(value)};
    }

    // A universal file of the slices, each at a 4096-byte boundary.
    static std::string fat(const std::vector<std::pair<MachOBuilder, std::string>>& slices)
    {
        std::string file = bigEndian(0xcafebabe) + bigEndian(static_cast<std::uint32_t>(slices.size()));
        std::uint32_t offset = 4096;
        std::string body;
        for (const auto& [builder, bytes] : slices) {
            file += bigEndian(static_cast<std::uint32_t>(builder.cpuType_)) + bigEndian(static_cast<std::uint32_t>(builder.cpuSubtype_)) +
                    bigEndian(offset) + bigEndian(static_cast<std::uint32_t>(bytes.size())) + bigEndian(12);
            body.resize(offset - 4096, '\0');
            body += bytes;
            offset = 4096 + static_cast<std::uint32_t>((body.size() + 4095) / 4096 * 4096);
        }
        file.resize(4096, '\0');
        return file + body;
    }

private:
    std::int32_t cpuType_;
    std::int32_t cpuSubtype_;
    bool is64_;
    std::vector<std::string> commands_;
    std::optional<std::uint32_t> countOverride_;
};

}  // namespace reportingtest
