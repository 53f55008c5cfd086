// The firmware-name analysis on arbitrary paths and lengths.

#include "core/catalogue.hpp"
#include "core/file_system.hpp"
#include "core/firmware.hpp"
#include "core/paths.hpp"
#include "fuzz_check.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

using namespace quentra::core;

namespace {

class FuzzedFileSystem final : public FileSystem {
public:
    std::int32_t length = 0;
    bool fails = false;
    std::string askedFor;

    bool isOrdinaryFile(const std::string&) override { return !fails; }
    std::int32_t fileLength(const std::string& path) override {
        askedFor = path;
        if (fails) {
            throw FileSystemError("no such file");
        }
        return length;
    }
};

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    FuzzedFileSystem fs;
    std::uint32_t raw = 0;
    std::memcpy(&raw, data, sizeof raw);
    fs.length = static_cast<std::int32_t>(raw);
    fs.fails = (data[4] & 1) != 0;
    const std::string path(reinterpret_cast<const char*>(data) + 5, size - 5);

    const FirmwareFileInfo info = analyseFirmwareFile(path, fs);
    FUZZ_CHECK(info.fullPath == path, "full path changed");
    FUZZ_CHECK(fs.askedFor == path, "the length was asked for another path");

    // The short name: the text after the last separator, which it does not contain.
    std::size_t cut = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (isPathSeparator(path[i])) {
            cut = i + 1;
        }
    }
    FUZZ_CHECK(info.shortName == path.substr(cut), "short name %s", info.shortName.c_str());

    if (fs.fails) {
        FUZZ_CHECK(info.outcome == AnalysisOutcome::StoppedAtLength, "outcome after a failure");
        FUZZ_CHECK(!info.length && !info.lengthText && !info.blockSizeText && !info.prefix &&
                       !info.catalogueIndex,
                   "fields set after the length failed");
        return 0;
    }
    FUZZ_CHECK(info.length == fs.length, "length");
    FUZZ_CHECK(info.lengthText == std::to_string(fs.length), "length text");
    const std::int32_t block = fs.length > 65536 ? 65536 : fs.length;
    FUZZ_CHECK(info.blockSizeText == std::to_string(block), "block size text for %d",
               static_cast<int>(fs.length));

    const std::string& name = info.shortName;
    std::size_t sep = name.rfind('_');
    if (sep == std::string::npos) {
        sep = name.rfind('.');
    }
    if (sep == std::string::npos) {
        FUZZ_CHECK(info.outcome == AnalysisOutcome::StoppedAtPrefix, "outcome without separator");
        FUZZ_CHECK(!info.prefix && !info.catalogueIndex, "prefix set without separator");
        return 0;
    }
    FUZZ_CHECK(info.outcome == AnalysisOutcome::Complete, "outcome with separator");
    FUZZ_CHECK(info.prefix == upper(name.substr(0, sep)), "prefix");
    FUZZ_CHECK(info.catalogueIndex.has_value(), "no index");
    const std::int16_t index = *info.catalogueIndex;
    FUZZ_CHECK(index >= 0 && index < static_cast<std::int16_t>(kCatalogueSize), "index %d",
               static_cast<int>(index));
    // A row is named only when one of its prefixes is the whole upper-cased prefix, and the
    // first such row wins.
    std::int16_t expected = kUnknownIndex;
    for (const ModuleTypeEntry& row : catalogue()) {
        for (std::size_t p = 0; p < row.prefixCount; ++p) {
            if (expected == kUnknownIndex && row.prefixes[p] == *info.prefix) {
                expected = row.index;
            }
        }
    }
    FUZZ_CHECK(index == expected, "index %d for %s, expected %d", static_cast<int>(index),
               info.prefix->c_str(), static_cast<int>(expected));
    return 0;
}
