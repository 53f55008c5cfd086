#include "core/upgrade_settings.hpp"

#include "core/catalogue.hpp"
#include "core/in_quotes.hpp"
#include "core/numeric_text.hpp"
#include "core/paths.hpp"
#include "core/text_encoding.hpp"

#include <algorithm>
#include <cmath>

namespace quentra::core {

namespace {

constexpr std::int32_t kMaxAddress = 127;
constexpr std::int32_t kMinConsole = 1;
constexpr std::int32_t kMaxConsole = 256;
constexpr std::int32_t kNoConsole = 0x3FFF;

// A number that does not fit would otherwise reach Config.dat as some other number.
std::int32_t storedInteger(const JobControls& controls, JobField field) {
    const std::string& text = controls.texts[field];
    const double parsed = parseNumber(text);
    const auto rounded = roundTo<std::int32_t>(parsed);
    if (!rounded) {
        throw InvalidValueError(field, "The value " + inQuotes(text) + " of " +
                                           inQuotes(storedKey(field)) +
                                           " lies outside -2147483648..2147483647 and cannot be "
                                           "stored.");
    }
    return *rounded;
}

std::string get(ConfigStore& store, std::string_view key) {
    store.putKeyName(std::string(key));
    return store.getKeyValue();
}

// A stored mask is read as an integer whose column c is ticked when the value divided by 2^c,
// truncated toward zero, is odd. Done on the rounded double so that a mask of any size is
// tested on its full value.
std::bitset<kAddressColumns> columnsOfMask(double parsed) {
    std::bitset<kAddressColumns> columns;
    const double mask = roundHalfToEven(parsed);
    if (!std::isfinite(mask)) {
        return columns;
    }
    double divisor = 1.0;
    for (int c = 0; c < kAddressColumns; ++c) {
        const double quotient = std::trunc(mask / divisor);
        columns[static_cast<std::size_t>(c)] = std::fmod(quotient, 2.0) != 0.0;
        divisor *= 2.0;
    }
    return columns;
}

} // namespace

std::string portKey(int portNumber) {
    return "Port #" + std::to_string(portNumber);
}

UpgradeSettings settingsFromControls(const JobControls& controls) {
    UpgradeSettings settings;
    settings.type = storedInteger(controls, JobField::Type);

    settings.address = std::min(storedInteger(controls, JobField::Address), kMaxAddress);

    settings.fileLength = storedInteger(controls, JobField::FileSize);
    settings.blockSize = storedInteger(controls, JobField::BlockSize);

    // One line of the settings file cannot hold a line break or NUL; the name would come back
    // cut or merged with the next key.
    const std::string& fileName = controls.texts[JobField::FileName];
    if (fileName.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        throw InvalidValueError(JobField::FileName,
                                "The file name holds a line break or NUL character and cannot "
                                "be stored.");
    }
    if (!isValidUtf8(fileName, true)) {
        throw InvalidValueError(JobField::FileName,
                                "The file name is not valid text and cannot be stored.");
    }
    settings.fileName = fileName;

    settings.wait = storedInteger(controls, JobField::Wait);

    settings.console = storedInteger(controls, JobField::Console);
    if (settings.console < kMinConsole || settings.console > kMaxConsole) {
        settings.console = kNoConsole;
    }

    for (int p = 0; p < kPortCount; ++p) {
        PortMask mask = 0;
        for (int c = 0; c < kAddressColumns; ++c) {
            // Only state 1 is ticked; a greyed box (2) counts as unticked.
            if (controls.boxStates[static_cast<std::size_t>(boxIndex(p, c))] == 1) {
                mask += 1 << c;
            }
        }
        settings.portMasks[static_cast<std::size_t>(p)] = mask;
    }
    return settings;
}

void saveSettings(ConfigStore& store, std::string_view appDir, const UpgradeSettings& settings) {
    const auto putInteger = [&store](std::string_view key, std::int32_t value) {
        store.putKeyName(std::string(key));
        store.putKeyValue(value);
    };

    store.putFilePath(configFilePath(appDir));
    store.putSectionName(std::string(kSectionName));
    putInteger(storedKey(JobField::Type), settings.type);
    putInteger(storedKey(JobField::Address), settings.address);
    putInteger(storedKey(JobField::FileSize), settings.fileLength);
    putInteger(storedKey(JobField::BlockSize), settings.blockSize);
    store.putKeyName(std::string(storedKey(JobField::FileName)));
    store.putKeyValue(settings.fileName);
    putInteger(storedKey(JobField::Wait), settings.wait);
    putInteger(storedKey(JobField::Console), settings.console);
    for (int p = 0; p < kPortCount; ++p) {
        putInteger(portKey(p + 1), settings.portMasks[static_cast<std::size_t>(p)]);
    }
}

LoadedJob loadSettings(ConfigStore& store, FileSystem& fs, std::string_view appDir) {
    LoadedJob job;
    const std::string path = configFilePath(appDir);
    if (!fs.isOrdinaryFile(path)) {
        // The defaults: "VWL" selected, address 127; every other control keeps its design text.
        job.texts[JobField::Address] = std::to_string(kMaxAddress);
        job.listIndex = 9;
        return job;
    }

    job.fromFile = true;
    store.putFilePath(path);
    store.putSectionName(std::string(kSectionName));

    const auto read = [&store](JobField field) { return get(store, storedKey(field)); };
    const double type = parseNumber(read(JobField::Type));
    if (const auto code = roundTo<std::int16_t>(type)) {
        job.texts[JobField::Type] = formatNumber(*code);
        job.listIndex = indexForCode(*code);
    } else {
        // Beyond 16 bits no row can have it; the number is shown as it was read.
        job.texts[JobField::Type] = formatNumber(type);
        job.listIndex = kUnknownIndex;
    }
    for (const JobField field : {JobField::Address, JobField::FileSize, JobField::BlockSize}) {
        job.texts[field] = formatNumber(parseNumber(read(field)));
    }
    // "Wait" comes before "File Name" here, the reverse of the save order.
    for (const JobField field : {JobField::Wait, JobField::FileName, JobField::Console}) {
        job.texts[field] = read(field);
    }

    for (int p = 0; p < kPortCount; ++p) {
        const auto columns = columnsOfMask(parseNumber(get(store, portKey(p + 1))));
        for (int c = 0; c < kAddressColumns; ++c) {
            if (columns[static_cast<std::size_t>(c)]) {
                job.ticked.set(static_cast<std::size_t>(boxIndex(p, c)));
            }
        }
    }

    job.readError = store.readError();
    return job;
}

} // namespace quentra::core
