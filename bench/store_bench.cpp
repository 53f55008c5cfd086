// Ok and start-up as the settings file sees them: Save (the controls' texts turned into a job,
// put key by key, committed durably) and Load (a fresh store reading the job back), with a
// Config.dat that holds only the job and with one that also holds foreign sections; the same
// text stored in the ANSI code page, as UTF-8 after its mark and as UTF-16LE after its mark.
//
// --dir=PATH chooses where the files go (default: a directory under the current one), so the
// same cases can run on a disk and on a memory file system, where the flush costs nothing.

#include "core/paths.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "core/upgrade_settings.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;
using namespace quentra;

namespace {

fs::path g_root;

core::JobControls sampleControls() {
    // Initialised, not assigned: GCC 12 at -O3 takes some literal assignments to a string
    // member for overlapping copies (a false -Wrestrict).
    core::JobControls controls{.type = "6050",
                               .address = "3",
                               .fileName = "vtl_2.bin",
                               .fileSize = "81920",
                               .blockSize = "65536",
                               .wait = "0",
                               .console = "1"};
    for (int i = 0; i < core::kBoxCount; i += 3) {
        controls.boxStates[static_cast<std::size_t>(i)] = 1;
    }
    return controls;
}

// Sections of another program's keys, about `bytes` long in all.
std::string foreignSections(std::size_t bytes, int firstSection) {
    std::string text;
    text.reserve(bytes + 256);
    for (int s = firstSection; text.size() < bytes; ++s) {
        const std::string section = std::to_string(s);
        text.append("[Foreign Section ").append(section).append("]\r\n");
        for (int k = 0; k < 20 && text.size() < bytes; ++k) {
            const std::string key = std::to_string(k);
            text.append("Setting ").append(key).append("=value of setting ").append(key);
            text.append(" in section ").append(section).append("\r\n");
        }
    }
    return text;
}

void appendFile(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << bytes;
}

enum Encoding : std::int64_t { Ansi, Utf8, Utf16 };

// The file's text (all ASCII here) written again in `encoding`, with its mark; in the ANSI code
// page as it is, so that every case's file is made the same way.
void reencode(const fs::path& file, std::int64_t encoding) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    in.close();
    std::string bytes = encoding == Ansi ? "" : encoding == Utf8 ? "\xEF\xBB\xBF" : "\xFF\xFE";
    if (encoding != Utf16) {
        bytes += text;
    } else {
        bytes.reserve(2 + 2 * text.size());
        for (const char c : text) {
            bytes += c;
            bytes += '\0';
        }
    }
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// A directory whose Config.dat holds the sample job between two halves of `foreignBytes` of
// foreign sections, made through the store as Ok makes it, then stored in `encoding`. Gives the
// directory as AppDir.
std::string prepareAppDir(std::int64_t foreignBytes, std::int64_t encoding) {
    const fs::path dir =
        g_root / ("foreign_" + std::to_string(foreignBytes) + "_" + std::to_string(encoding));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string appDir = core::withTrailingSeparator(dir.string());
    const auto half = static_cast<std::size_t>(foreignBytes / 2);
    if (half > 0) {
        appendFile(core::configFilePath(appDir), foreignSections(half, 0));
    }
    core::IniFileStore store;
    core::saveSettings(store, appDir, core::settingsFromControls(sampleControls()));
    store.commit();
    if (half > 0) {
        appendFile(core::configFilePath(appDir), foreignSections(half, 1000000));
    }
    reencode(core::configFilePath(appDir), encoding);
    return appDir;
}

std::int64_t fileSize(const std::string& appDir) {
    return static_cast<std::int64_t>(fs::file_size(core::configFilePath(appDir)));
}

// Whether Load gives back what the sample job holds, so no case times a failing path.
bool loadsSampleJob(const std::string& appDir) {
    core::IniFileStore store;
    core::NativeFileSystem files;
    const core::LoadedJob job = core::loadSettings(store, files, appDir);
    return job.fromFile && !job.readError && job.type == "6050" && job.fileName == "vtl_2.bin" &&
           job.ticked.test(0) && job.ticked.test(63) && !job.ticked.test(1);
}

void BM_Save(benchmark::State& state) {
    const std::string appDir = prepareAppDir(state.range(0), state.range(1));
    // One store for the window's life, as in the program; the commit reads the file afresh.
    core::IniFileStore store;
    core::JobControls controls = sampleControls();
    for (auto _ : state) {
        // A different value each time, so every commit has a change to write.
        controls.boxStates[1] = controls.boxStates[1] == 1 ? 0 : 1;
        const core::UpgradeSettings settings = core::settingsFromControls(controls);
        core::saveSettings(store, appDir, settings);
        store.commit();
    }
    // Leave the sample job itself in the file, then check it reads back whole.
    core::saveSettings(store, appDir, core::settingsFromControls(sampleControls()));
    store.commit();
    if (!loadsSampleJob(appDir)) {
        state.SkipWithError("the saved job did not read back");
    }
    state.counters["file_bytes"] = static_cast<double>(fileSize(appDir));
    state.SetBytesProcessed(state.iterations() * fileSize(appDir));
}

void BM_Load(benchmark::State& state) {
    const std::string appDir = prepareAppDir(state.range(0), state.range(1));
    if (!loadsSampleJob(appDir)) {
        state.SkipWithError("the prepared job did not read back");
        return;
    }
    core::NativeFileSystem files;
    for (auto _ : state) {
        // A fresh store each time: the program makes one per start.
        core::IniFileStore store;
        core::LoadedJob job = core::loadSettings(store, files, appDir);
        benchmark::DoNotOptimize(job);
    }
    state.counters["file_bytes"] = static_cast<double>(fileSize(appDir));
    state.SetBytesProcessed(state.iterations() * fileSize(appDir));
}

// Only the job, then 1 MB and 10 MB of foreign sections (as text: twice the bytes in UTF-16),
// in each encoding.
void fileSizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"foreign_bytes", "encoding"});
    for (const std::int64_t encoding : {Ansi, Utf8, Utf16}) {
        for (const std::int64_t bytes : {0, 1 << 20, 10 << 20}) {
            b->Args({bytes, encoding});
        }
    }
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_Save)->Apply(fileSizes);
BENCHMARK(BM_Load)->Apply(fileSizes);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::string_view dirFlag = "--dir=";
    g_root = fs::current_path() / "bench_store_files";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, dirFlag.size()) == dirFlag) {
            g_root = fs::path(std::string(arg.substr(dirFlag.size()))) / "bench_store_files";
        } else {
            std::fprintf(stderr, "unknown argument: %s\n", argv[i]);
            return 1;
        }
    }
    fs::create_directories(g_root);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(g_root, ignored);
    return 0;
}
