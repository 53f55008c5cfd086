#include "core/paths.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quentra::core {
namespace {

struct DirCase {
    const char* dir;
    const char* expected;
};

#ifdef _WIN32
const DirCase kDirCases[] = {
    {"C:\\Program Files\\Upgrade", "C:\\Program Files\\Upgrade\\"},
    {"C:\\Program Files\\Upgrade\\", "C:\\Program Files\\Upgrade\\"},
    {"C:\\", "C:\\"},
    {"C:/tools/", "C:/tools/"},
    {"", ".\\"},
};
#else
const DirCase kDirCases[] = {
    {"/opt/upgrade", "/opt/upgrade/"},
    {"/opt/upgrade/", "/opt/upgrade/"},
    {"/", "/"},
    {"/opt/back\\slash", "/opt/back\\slash/"},
    {"", "./"},
};
#endif

TEST(Paths, AppDirAlwaysEndsInASeparator) {
    for (const auto& c : kDirCases) {
        EXPECT_EQ(withTrailingSeparator(c.dir), c.expected) << c.dir;
    }
}

TEST(Paths, ConfigFileLiesInAppDir) {
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(configFilePath(withTrailingSeparator("dir")), "dir" + sep + "Config.dat");
    EXPECT_EQ(configFilePath("dir" + sep), "dir" + sep + "Config.dat");
    // A directory handed over without its separator still names the file inside it.
    EXPECT_EQ(configFilePath("dir"), "dir" + sep + "Config.dat");
}

TEST(Paths, Separators) {
    EXPECT_TRUE(isPathSeparator('/'));
    EXPECT_FALSE(isPathSeparator(':'));
    EXPECT_FALSE(isPathSeparator('_'));
#ifdef _WIN32
    EXPECT_TRUE(isPathSeparator('\\'));
#else
    EXPECT_FALSE(isPathSeparator('\\'));
#endif
}

} // namespace
} // namespace quentra::core
