// Save and Load of Config.dat against the file's size, as the settings file sees them: Save (the
// controls' texts turned into a job, its 23 keys put, committed durably) and Load (a fresh store
// getting the 23 keys back). The file holds the job in "FILE INFO" alone, or between two halves
// of another program's sections making a file of 1, 10 or 50 MB, in each of the file's
// encodings; or, hostile, a million (and a tenth of that) distinct keys in "FILE INFO" before the
// job's own.
//
// Beside them: the floor of any durable rewrite of the same 10 MB (read the file, write its bytes
// to a temporary file beside it, flush, rename over, flush the directory), in plain POSIX calls;
// and the peak memory of one Load or one Save, each in a fresh process.
//
// --dir=PATH chooses where the files go (default: a directory under the current one), so the
// same cases can run on a disk and on a memory file system, where the flush costs nothing.

#include "core/paths.hpp"
#include "core/platform/ini_file_store.hpp"
#include "core/platform/native_file_system.hpp"
#include "core/upgrade_settings.hpp"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;
using namespace quentra;

namespace {

fs::path g_root;

constexpr std::int64_t kMb = 1 << 20;
constexpr std::int64_t kHostileKeys = 1000000;

core::JobControls sampleControls() {
    // Initialised, not assigned: GCC 12 at -O3 takes some literal assignments to a string
    // member for overlapping copies (a false -Wrestrict).
    // In the order of the fields: type, address, file size, block size, file name, wait, console.
    core::JobControls controls{.texts = {{"6050", "3", "81920", "65536", "vtl_2.bin", "0", "1"}}};
    for (int i = 0; i < core::kBoxCount; i += 3) {
        controls.boxStates[static_cast<std::size_t>(i)] = 1;
    }
    return controls;
}

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

enum Encoding : std::int64_t { Ansi, Utf8, Utf16Le, Utf16Be };

std::string_view byteOrderMark(std::int64_t encoding) {
    switch (encoding) {
    case Utf8:
        return "\xEF\xBB\xBF";
    case Utf16Le:
        return "\xFF\xFE";
    case Utf16Be:
        return "\xFE\xFF";
    default:
        return "";
    }
}

// Text whose characters are all below U+0100 (Latin-1, which Windows-1252 matches from A0 up) in
// `encoding`, without a mark.
std::string encode(std::string_view latin1, std::int64_t encoding) {
    std::string out;
    out.reserve(2 * latin1.size());
    for (const char c : latin1) {
        const auto u = static_cast<unsigned char>(c);
        if (encoding == Ansi || (encoding == Utf8 && u < 0x80)) {
            out += c;
        } else if (encoding == Utf8) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (encoding == Utf16Le) {
            out += c;
            out += '\0';
        } else {
            out += '\0';
            out += c;
        }
    }
    return out;
}

// Another program's sections, in `encoding`, appended until `file` is `size` bytes long.
void appendForeignSections(std::string& file, std::size_t size, std::int64_t encoding,
                           int firstSection) {
    for (int s = firstSection; file.size() < size; ++s) {
        const std::string section = std::to_string(s);
        std::string text = "[Foreign Section " + section + "]\r\n";
        for (int k = 0; k < 20; ++k) {
            const std::string key = std::to_string(k);
            text += "Setting " + key + "=valeur \xE9 " + key + " in section " + section + "\r\n";
        }
        file += encode(text, encoding);
    }
}

// The sample job's "FILE INFO" section as the store itself writes it into a new file.
const std::string& jobSection() {
    static const std::string text = [] {
        const fs::path dir = g_root / "job";
        fs::create_directories(dir);
        const std::string appDir = core::withTrailingSeparator(dir.string());
        core::IniFileStore store;
        core::saveSettings(store, appDir, core::settingsFromControls(sampleControls()));
        store.commit();
        return readWhole(core::configFilePath(appDir));
    }();
    return text;
}

// Whether Load gives back what the sample job holds, so no case times a failing path.
bool loadsSampleJob(const std::string& appDir) {
    core::IniFileStore store;
    core::NativeFileSystem files;
    const core::LoadedJob job = core::loadSettings(store, files, appDir);
    return job.fromFile && !job.readError && job.texts[core::JobField::Type] == "6050" &&
           job.texts[core::JobField::FileName] == "vtl_2.bin" && job.ticked.test(0) &&
           job.ticked.test(63) && !job.ticked.test(1);
}

// A directory whose Config.dat is in `encoding` and holds the sample job: with `fileInfoKeys`
// other keys before the job's in its section, or between two halves of foreign sections making
// `fileMb` MB. Made once per process; a Save leaves the sample job in it again. Gives the
// directory as AppDir.
std::string prepareAppDir(std::int64_t fileMb, std::int64_t encoding, std::int64_t fileInfoKeys) {
    static std::map<std::tuple<std::int64_t, std::int64_t, std::int64_t>, std::string> made;
    std::string& appDir = made[{fileMb, encoding, fileInfoKeys}];
    if (!appDir.empty()) {
        return appDir;
    }
    const fs::path dir = g_root / ("file_" + std::to_string(fileMb) + "_" +
                                   std::to_string(encoding) + "_" + std::to_string(fileInfoKeys));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string bytes(byteOrderMark(encoding));
    const std::string& job = jobSection();
    if (fileInfoKeys > 0) {
        std::string keys = job.substr(0, job.find('\n') + 1); // the section's header
        for (std::int64_t k = 0; k < fileInfoKeys; ++k) {
            keys += "Key " + std::to_string(k) + "=" + std::to_string(k % 100) + "\r\n";
        }
        keys += job.substr(job.find('\n') + 1);
        bytes += encode(keys, encoding);
    } else {
        const auto size = static_cast<std::size_t>(fileMb * kMb);
        appendForeignSections(bytes, size / 2, encoding, 0);
        bytes += encode(job, encoding);
        appendForeignSections(bytes, size, encoding, 1000000);
    }
    const std::string path = core::withTrailingSeparator(dir.string());
    std::ofstream(core::configFilePath(path), std::ios::binary) << bytes;
    if (!loadsSampleJob(path)) {
        throw std::runtime_error("the prepared job did not read back from " + path);
    }
    appDir = path;
    return appDir;
}

// The case's directory, or empty when it could not be made (the case then reports why).
std::string preparedAppDir(benchmark::State& state) {
    try {
        return prepareAppDir(state.range(0), state.range(1), state.range(2));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return {};
    }
}

// Hands what the last operation freed back to the system, untimed, so that the next one takes
// fresh pages as the program's one Load per start and one Save per Ok do. Left to itself glibc
// keeps freed memory for the next iteration, in amounts that depend on what ran before, and a
// case then skips the first touch of its pages or not (4 to 5 ms per MB on the virtual machine
// of the figures).
void freshMemoryNext(benchmark::State& state) {
    state.PauseTiming();
    malloc_trim(0);
    state.ResumeTiming();
}

std::int64_t fileSize(const std::string& appDir) {
    return static_cast<std::int64_t>(fs::file_size(core::configFilePath(appDir)));
}

void BM_Save(benchmark::State& state) {
    const std::string appDir = preparedAppDir(state);
    if (appDir.empty()) {
        return;
    }
    // One store for the window's life, as in the program; the commit reads the file afresh.
    core::IniFileStore store;
    core::JobControls controls = sampleControls();
    for (auto _ : state) {
        // A different value each time, so every commit has a change to write.
        controls.boxStates[1] = controls.boxStates[1] == 1 ? 0 : 1;
        const core::UpgradeSettings settings = core::settingsFromControls(controls);
        core::saveSettings(store, appDir, settings);
        store.commit();
        freshMemoryNext(state);
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
    const std::string appDir = preparedAppDir(state);
    if (appDir.empty()) {
        return;
    }
    core::NativeFileSystem files;
    for (auto _ : state) {
        {
            // A fresh store each time: the program makes one per start.
            core::IniFileStore store;
            core::LoadedJob job = core::loadSettings(store, files, appDir);
            benchmark::DoNotOptimize(job);
        }
        freshMemoryNext(state);
    }
    state.counters["file_bytes"] = static_cast<double>(fileSize(appDir));
    state.SetBytesProcessed(state.iterations() * fileSize(appDir));
}

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::system_error(errno, std::generic_category(), what);
    }
}

// The least any durable replace of the file costs on this file system: the same bytes read,
// written to a temporary file beside it, flushed, renamed over it, and the directory flushed.
void replaceWithSameBytes(const std::string& appDir) {
    const std::string path = core::configFilePath(appDir);
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    check(in >= 0, "open");
    struct stat info {};
    check(::fstat(in, &info) == 0, "fstat");
    const auto size = static_cast<std::size_t>(info.st_size);
    const auto bytes = std::make_unique_for_overwrite<char[]>(size);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::read(in, bytes.get() + done, size - done);
        check(n > 0, "read");
        done += static_cast<std::size_t>(n);
    }
    ::close(in);
    const std::string temporary = path + ".floor";
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    check(out >= 0, "open temporary");
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(out, bytes.get() + done, size - done);
        check(n > 0, "write");
        done += static_cast<std::size_t>(n);
    }
    check(::fsync(out) == 0, "fsync");
    check(::close(out) == 0, "close");
    check(::rename(temporary.c_str(), path.c_str()) == 0, "rename");
    const int dir = ::open(appDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    check(dir >= 0, "open directory");
    check(::fsync(dir) == 0, "fsync directory");
    ::close(dir);
}

void BM_Floor(benchmark::State& state) {
    const std::string appDir = preparedAppDir(state);
    if (appDir.empty()) {
        return;
    }
    try {
        for (auto _ : state) {
            replaceWithSameBytes(appDir);
            freshMemoryNext(state);
        }
    } catch (const std::system_error& e) {
        state.SkipWithError(e.what());
        return;
    }
    state.counters["file_bytes"] = static_cast<double>(fileSize(appDir));
    state.SetBytesProcessed(state.iterations() * fileSize(appDir));
}

long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(std::string_view(field).size()));
        }
    }
    return -1;
}

// In a fresh process (this program started again with --peak-of=OP APPDIR): one Load, or one
// Save as Ok does it, then the peak resident memory less what was resident before, in KB, on
// standard output.
int reportPeakOf(std::string_view op, const std::string& appDir) {
    const long before = statusKb("VmRSS:");
    if (op == "load") {
        core::IniFileStore store;
        core::NativeFileSystem files;
        if (!core::loadSettings(store, files, appDir).fromFile) {
            return 1;
        }
    } else if (op == "save") {
        // A changed job, then the sample job back, each by a store of its own as at each start.
        core::JobControls controls = sampleControls();
        controls.boxStates[1] = 1;
        for (const auto& job : {controls, sampleControls()}) {
            core::IniFileStore store;
            core::saveSettings(store, appDir, core::settingsFromControls(job));
            store.commit();
        }
    } else {
        return 1;
    }
    std::printf("%ld\n", statusKb("VmHWM:") - before);
    return 0;
}

long peakKbInFreshProcess(const char* op, const std::string& appDir) {
    int fds[2];
    check(::pipe(fds) == 0, "pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string program = "bench_store";
    std::string opArg = std::string("--peak-of=") + op;
    std::string dirArg = appDir;
    char* argv[] = {program.data(), opArg.data(), dirArg.data(), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string out;
    char buffer[64];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0 || out.empty()) {
        return -1;
    }
    return std::stol(out);
}

// Not a time: the peak memory of one Load (op 0) or Save (op 1), against the file's size.
void BM_PeakMemory(benchmark::State& state) {
    const std::string appDir = preparedAppDir(state);
    if (appDir.empty()) {
        return;
    }
    long kb = -1;
    for (auto _ : state) {
        kb = peakKbInFreshProcess(state.range(3) == 0 ? "load" : "save", appDir);
    }
    if (kb < 0 || !loadsSampleJob(appDir)) {
        state.SkipWithError("the measured process failed");
        return;
    }
    state.counters["file_bytes"] = static_cast<double>(fileSize(appDir));
    state.counters["peak_bytes"] = static_cast<double>(kb) * 1024;
}

// The job alone, then files of 1, 10 and 50 MB, in each encoding; then the hostile files.
void fileCases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"file_mb", "encoding", "file_info_keys"});
    for (const std::int64_t encoding : {Ansi, Utf8, Utf16Le, Utf16Be}) {
        for (const std::int64_t mb : {0, 1, 10, 50}) {
            b->Args({mb, encoding, 0});
        }
        // A tenth of the keys too, to show how the hostile file's cost grows.
        b->Args({0, encoding, kHostileKeys / 10});
        b->Args({0, encoding, kHostileKeys});
    }
    b->Unit(benchmark::kMillisecond);
}

void floorCases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"file_mb", "encoding", "file_info_keys"});
    for (const std::int64_t encoding : {Ansi, Utf8, Utf16Le, Utf16Be}) {
        b->Args({10, encoding, 0});
    }
    b->Unit(benchmark::kMillisecond);
}

void memoryCases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"file_mb", "encoding", "file_info_keys", "op"});
    for (const std::int64_t encoding : {Ansi, Utf8, Utf16Le, Utf16Be}) {
        for (const std::int64_t op : {0, 1}) {
            for (const std::int64_t mb : {1, 10, 50}) {
                b->Args({mb, encoding, 0, op});
            }
            b->Args({0, encoding, kHostileKeys / 10, op});
            b->Args({0, encoding, kHostileKeys, op});
        }
    }
    // The same every time: one run of each is enough.
    b->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Save)->Apply(fileCases);
BENCHMARK(BM_Load)->Apply(fileCases);
BENCHMARK(BM_Floor)->Apply(floorCases);
BENCHMARK(BM_PeakMemory)->Apply(memoryCases);

} // namespace

int main(int argc, char** argv) {
    const std::string_view peakFlag = "--peak-of=";
    if (argc == 3 && std::string_view(argv[1]).substr(0, peakFlag.size()) == peakFlag) {
        return reportPeakOf(std::string_view(argv[1]).substr(peakFlag.size()), argv[2]);
    }
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
    fs::remove_all(g_root);
    fs::create_directories(g_root);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(g_root, ignored);
    return 0;
}
