#include "reporting/Plinth/BRSUserDefaults.h"

#include "reporting/BRSURLSession/Dispatch.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNUntrustedData.h"

#include <plist/plist.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace pln {
namespace {

plist_t plistOf(const nlohmann::json& value)
{
    switch (value.type()) {
    case nlohmann::json::value_t::boolean: return plist_new_bool(value.get<bool>());
    case nlohmann::json::value_t::number_integer: return plist_new_uint(static_cast<std::uint64_t>(value.get<std::int64_t>()));
    case nlohmann::json::value_t::number_unsigned: return plist_new_uint(value.get<std::uint64_t>());
    case nlohmann::json::value_t::number_float: return plist_new_real(value.get<double>());
    case nlohmann::json::value_t::string: return plist_new_string(value.get_ref<const std::string&>().c_str());
    case nlohmann::json::value_t::binary: {
        const auto& bytes = value.get_binary();
        return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    case nlohmann::json::value_t::array: {
        plist_t array = plist_new_array();
        for (const auto& item : value)
            if (plist_t element = plistOf(item))
                plist_array_append_item(array, element);
        return array;
    }
    case nlohmann::json::value_t::object: {
        plist_t dictionary = plist_new_dict();
        for (const auto& [key, item] : value.items())
            if (plist_t element = plistOf(item))
                plist_dict_set_item(dictionary, key.c_str(), element);
        return dictionary;
    }
    default: return nullptr;  // null has no property-list form
    }
}

// The value of a property-list node; nothing when a string or key is not
// UTF-8 (a character reference in the file may name any number).
std::optional<nlohmann::json> jsonOf(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    case PLIST_UINT: {
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // Negative integers are stored in two's complement.
        return value > static_cast<std::uint64_t>(INT64_MAX) ? nlohmann::json(static_cast<std::int64_t>(value)) : nlohmann::json(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_STRING: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        const std::string value = text ? text : "";
        free(text);
        return PLNIsValidUTF8(value) ? std::optional<nlohmann::json>(value) : std::nullopt;
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        auto value = nlohmann::json::binary(std::vector<std::uint8_t>(bytes, bytes + length));
        free(bytes);
        return value;
    }
    case PLIST_DATE: {
        std::int32_t seconds = 0, microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return seconds + microseconds / 1e6;  // seconds since 2001
    }
    case PLIST_ARRAY: {
        auto array = nlohmann::json::array();
        for (std::uint32_t i = 0; i < plist_array_get_size(node); ++i) {
            auto item = jsonOf(plist_array_get_item(node, i));
            if (!item)
                return std::nullopt;
            array.push_back(std::move(*item));
        }
        return array;
    }
    case PLIST_DICT: {
        std::optional<nlohmann::json> object = nlohmann::json::object();
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        while (object) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            if (!key)
                break;
            auto value = PLNIsValidUTF8(key) ? jsonOf(item) : std::nullopt;
            if (value)
                (*object)[key] = std::move(*value);
            else
                object.reset();
            free(key);
        }
        free(iterator);
        return object;
    }
    default: return nlohmann::json();
    }
}

// Whether the XML text holds the character NUL, as a byte or as a character
// reference (&#0;, &#x00;). XML has no such character, and libplist ends
// the process when asked for a string or key that holds one.
bool containsNULCharacter(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        return true;
    for (std::size_t at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
        std::size_t digit = at + 2;
        if (digit < text.size() && (text[digit] == 'x' || text[digit] == 'X'))
            ++digit;
        const std::size_t end = text.find_first_not_of('0', digit);
        if (end != digit && end != std::string_view::npos && text[end] == ';')
            return true;
    }
    return false;
}

// The dictionary of a property list in the XML form the store writes. The
// text is checked before libplist sees it: its binary reader and its
// freeing of a tree both recurse once per level, a store is never nested
// deeply, and a NUL inside a string or key trips libplist's own assertion.
std::optional<nlohmann::json> dictionaryOfPropertyList(const std::string& bytes)
{
    if (!PLNIsValidUTF8(bytes) || !PLNXMLNestingWithinLimit(bytes) || containsNULCharacter(bytes))
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_xml(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    std::optional<nlohmann::json> dictionary;
    if (root && plist_get_node_type(root) == PLIST_DICT)
        dictionary = jsonOf(root);
    if (root)
        plist_free(root);
    return dictionary;
}

// Writes the bytes to a temporary file beside path, flushes them to disk and
// renames it into place, so the file is always either the old or the new one.
bool writeAtomically(const std::string& path, const std::string& bytes)
{
    const std::string temporary = path + ".tmp-" + std::to_string(getpid());
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t step = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (step < 0 && errno == EINTR)
            continue;
        if (step <= 0)
            break;
        written += static_cast<std::size_t>(step);
    }
    const bool complete = written == bytes.size() && ::fsync(descriptor) == 0;
    if (::close(descriptor) != 0 || !complete || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    const int folder = ::open(std::filesystem::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

}  // namespace

struct BRSUserDefaults::State {
    brs::SerialQueue accessQueue{"com.brisca.BRSUserDefaults.access"};
    brs::SerialQueue ioQueue{"com.brisca.BRSUserDefaults.io"};
    std::string directoryPath;
    std::string filePath;
    nlohmann::json dataDictionary = nlohmann::json::object();  // access queue only
    unsigned long long snapshotsTaken = 0;                    // access queue only
    unsigned long long snapshotWritten = 0;                   // io queue only
};

BRSUserDefaults& BRSUserDefaults::standardUserDefaults()
{
    static auto* store = new BRSUserDefaults(PLNApplicationSupportFolder() + "/com.brisca");  // never freed
    return *store;
}

BRSUserDefaults::BRSUserDefaults(std::string directory) : state_(std::make_unique<State>())
{
    state_->accessQueue.async([this, directory = std::move(directory)] {
        state_->directoryPath = directory;
        state_->filePath = directory + "/BRSUserDefaults.plist";
        if (auto loaded = loadDictionaryFromDisk())
            state_->dataDictionary = std::move(*loaded);
    });
}

BRSUserDefaults::~BRSUserDefaults()
{
    // Work still queued refers to this store: let it finish first.
    state_->accessQueue.sync([] {});
    state_->ioQueue.sync([] {});
}

const std::string& BRSUserDefaults::directoryPath() const
{
    state_->accessQueue.sync([] {});
    return state_->directoryPath;
}

const std::string& BRSUserDefaults::filePath() const
{
    state_->accessQueue.sync([] {});
    return state_->filePath;
}

std::optional<nlohmann::json> BRSUserDefaults::objectForKey(const std::string& key) const
{
    std::optional<nlohmann::json> value;
    state_->accessQueue.sync([&] {
        const auto found = state_->dataDictionary.find(key);
        if (found != state_->dataDictionary.end())
            value = *found;
    });
    return value;
}

std::optional<std::string> BRSUserDefaults::stringForKey(const std::string& key) const
{
    const auto value = objectForKey(key);
    return value && value->is_string() ? std::optional<std::string>(value->get<std::string>()) : std::nullopt;
}

bool BRSUserDefaults::boolForKey(const std::string& key) const
{
    // Only booleans and numbers count here: text stored under a key reads as
    // false, as it always has for the files this store has written.
    const auto value = objectForKey(key);
    return value && !value->is_string() && PLNBoolValue(*value);
}

void BRSUserDefaults::setObject(const nlohmann::json& value, const std::string& key)
{
    state_->accessQueue.sync([&] {
        if (value.is_null())
            state_->dataDictionary.erase(key);
        else
            state_->dataDictionary[key] = value;
    });
}

void BRSUserDefaults::setString(const std::optional<std::string>& value, const std::string& key)
{
    setObject(value ? nlohmann::json(*value) : nlohmann::json(), key);
}

void BRSUserDefaults::setBool(bool value, const std::string& key) { setObject(value, key); }

void BRSUserDefaults::removeObjectForKey(const std::string& key) { setObject(nullptr, key); }

void BRSUserDefaults::removeAllObjects()
{
    state_->accessQueue.sync([&] { state_->dataDictionary = nlohmann::json::object(); });
}

nlohmann::json BRSUserDefaults::dictionaryRepresentation() const
{
    nlohmann::json copy;
    state_->accessQueue.sync([&] { copy = state_->dataDictionary; });
    return copy;
}

void BRSUserDefaults::synchronize()
{
    nlohmann::json snapshot;
    unsigned long long generation = 0;
    state_->accessQueue.sync([&] {
        snapshot = state_->dataDictionary;
        generation = ++state_->snapshotsTaken;
    });
    state_->ioQueue.sync([&] {
        // A newer snapshot already on disk stays there.
        if (generation < state_->snapshotWritten)
            return;
        std::error_code error;
        if (!std::filesystem::exists(state_->directoryPath, error)) {
            std::filesystem::create_directories(state_->directoryPath, error);
            if (error)
                PLNDebugLog("[Plinth] BRSUserDefaults: failed to create directory with error:" + error.message());
        }
        plist_t root = plistOf(snapshot);
        char* xml = nullptr;
        std::uint32_t length = 0;
        plist_to_xml(root, &xml, &length);
        plist_free(root);
        const bool written = xml && writeAtomically(state_->filePath, std::string(xml, length));
        free(xml);
        if (written)
            state_->snapshotWritten = generation;
        else
            PLNDebugLog("[Plinth] BRSUserDefaults: Unable to open BRSUserDefaults file for writing at path " + state_->filePath);
    });
}

std::optional<nlohmann::json> BRSUserDefaults::loadDictionaryFromDisk()
{
    std::optional<nlohmann::json> loaded;
    state_->ioQueue.sync([&] {
        const std::string& path = state_->filePath;
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            PLNDebugLog("[Plinth] BRSUserDefaults: found directory where file expected. Removing conflicting directory");
            std::filesystem::remove_all(path, error);
            if (error)
                PLNDebugLog("[Plinth] BRSUserDefaults: error removing conflicting directory: {error = " + error.message() + "}");
            return;
        }
        if (!std::filesystem::exists(path, error))
            return;
        // Only a dictionary is a store; anything else counts as unreadable,
        // and the next synchronise replaces it.
        const auto bytes = PLNReadRegularFile(path, nullptr);
        loaded = bytes && bytes->size() <= UINT32_MAX ? dictionaryOfPropertyList(*bytes) : std::nullopt;
        if (!loaded)
            PLNDebugLog("[Plinth] BRSUserDefaults: failed to read existing file");
    });
    return loaded;
}

void BRSUserDefaults::migrateFromNSUserDefaults(const std::vector<std::string>& keys)
{
    const auto legacy = PLNCurrentEnvironment()->legacyDefaults;
    if (!legacy)
        return;
    bool moved = false;
    for (const auto& key : keys)
        if (const auto value = legacy->objectForKey(key); value && !value->is_null()) {
            setObject(*value, key);
            moved = true;
        }
    if (!moved)
        return;
    synchronize();
    for (const auto& key : keys)
        legacy->removeObjectForKey(key);
    legacy->synchronize();
}

}  // namespace pln
