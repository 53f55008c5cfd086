#include "core/paths.hpp"

#include "core/firmware.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quentra::core {
namespace {

struct DirCase {
    const char* dir;
    const char* expected;
};

// Windows' drive and share roots and both separators: windows_test.cpp.
#ifndef _WIN32
const DirCase kDirCases[] = {
    {"/opt/upgrade", "/opt/upgrade/"},
    {"/opt/upgrade/", "/opt/upgrade/"},
    {"/", "/"},
    {"/opt/back\\slash", "/opt/back\\slash/"},
    {"", "./"},
};
TEST(Paths, AppDirAlwaysEndsInASeparator) {
    for (const auto& c : kDirCases) {
        EXPECT_EQ(withTrailingSeparator(c.dir), c.expected) << c.dir;
    }
}
#endif

TEST(Paths, ConfigFileLiesInAppDir) {
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(configFilePath(withTrailingSeparator("dir")), "dir" + sep + "Config.dat");
    EXPECT_EQ(configFilePath("dir" + sep), "dir" + sep + "Config.dat");
    // A directory handed over without its separator still names the file inside it.
    EXPECT_EQ(configFilePath("dir"), "dir" + sep + "Config.dat");
}

TEST(Paths, SplitAfterTheLastSeparator) {
    struct Row {
        const char* path;
        const char* directory;
        const char* name;
    };
    const Row rows[] = {
        {"Config.dat", "", "Config.dat"},
        {"", "", ""},
        {"/", "/", ""},
        {"/Config.dat", "/", "Config.dat"},
        {"/opt/upgrade/Config.dat", "/opt/upgrade/", "Config.dat"},
        {"/opt/upgrade/", "/opt/upgrade/", ""},
        {"dir//x", "dir//", "x"},
#ifndef _WIN32
        {"/opt/back\\slash", "/opt/", "back\\slash"},
#endif
    };
    for (const Row& r : rows) {
        const SplitPath parts = splitPath(r.path);
        EXPECT_EQ(parts.directory, r.directory) << r.path;
        EXPECT_EQ(parts.name, r.name) << r.path;
        EXPECT_EQ(shortNameForPath(r.path), r.name) << r.path; // a firmware file's short name
    }
}

TEST(Paths, Separators) {
    EXPECT_TRUE(isPathSeparator('/'));
    EXPECT_FALSE(isPathSeparator(':'));
    EXPECT_FALSE(isPathSeparator('_'));
    EXPECT_EQ(isPathSeparator('\\'), kPathSeparator == '\\');
}

} // namespace
} // namespace quentra::core
