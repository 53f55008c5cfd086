#include "core/firmware.hpp"

#include "core/catalogue.hpp"
#include "core/paths.hpp"

#include <exception>

namespace quentra::core {

std::string_view shortNameForPath(std::string_view fullPath) {
    return splitPath(fullPath).name;
}

std::string blockSizeForLength(std::int32_t length) {
    return std::to_string(length > kMaxBlockSize ? kMaxBlockSize : length);
}

std::optional<std::string_view> prefixForShortName(std::string_view shortName) {
    // Any "_" wins over every ".": the revision follows the last "_" in the image names.
    std::size_t cut = shortName.rfind('_');
    if (cut == std::string_view::npos) {
        cut = shortName.rfind('.');
    }
    if (cut == std::string_view::npos) {
        return std::nullopt;
    }
    return shortName.substr(0, cut);
}

std::string toUpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

FirmwareFileInfo
analyseFirmwareFile(const std::string& fullPath, FileSystem& fs,
                    const std::function<void(AnalysisStep, const FirmwareFileInfo&)>& passOn) {
    const auto done = [&](AnalysisStep step, const FirmwareFileInfo& info) {
        if (passOn) {
            passOn(step, info);
        }
    };
    FirmwareFileInfo info;
    info.fullPath = fullPath;
    info.shortName = std::string(shortNameForPath(fullPath));
    done(AnalysisStep::ShortName, info);

    try {
        // The full path, not the short name: the image need not lie in the current directory.
        info.length = fs.fileLength(fullPath);
    } catch (const std::exception&) {
        info.outcome = AnalysisOutcome::StoppedAtLength;
        return info;
    }
    info.lengthText = std::to_string(*info.length);
    info.blockSizeText = blockSizeForLength(*info.length);
    done(AnalysisStep::Length, info);

    const auto prefix = prefixForShortName(info.shortName);
    if (!prefix) {
        info.outcome = AnalysisOutcome::StoppedAtPrefix;
        return info;
    }
    info.prefix = toUpperAscii(*prefix);
    info.catalogueIndex = indexForPrefix(*info.prefix);
    info.outcome = AnalysisOutcome::Complete;
    done(AnalysisStep::Prefix, info);
    return info;
}

} // namespace quentra::core
