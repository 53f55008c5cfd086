#include "core/platform/native_file_system.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace quentra::core {
namespace {

namespace fs = std::filesystem;

using test_support::utf8;

class NativeFileSystemTest : public test_support::TempDirTest {
protected:
    std::string file(const std::string& name, std::size_t bytes) {
        const fs::path p = dir_ / test_support::fromUtf8(name);
        test_support::writeFile(p, std::string(bytes, 'x'));
        return utf8(p);
    }

    NativeFileSystem nfs_;
};

TEST_F(NativeFileSystemTest, OnlyOrdinaryFilesExist) {
    EXPECT_TRUE(nfs_.isOrdinaryFile(file("Config.dat", 10)));
    EXPECT_TRUE(nfs_.isOrdinaryFile(file("empty.dat", 0)));
    EXPECT_TRUE(nfs_.isOrdinaryFile(file("f\xc3\xafrmware \xc3\xbc.bin", 1)));
    fs::create_directory(dir_ / "Sub.dat");
    EXPECT_FALSE(nfs_.isOrdinaryFile(utf8(dir_ / "Sub.dat")));
    EXPECT_FALSE(nfs_.isOrdinaryFile(utf8(dir_ / "missing.dat")));
    EXPECT_FALSE(nfs_.isOrdinaryFile(utf8(dir_ / "missing" / "Config.dat")));
    EXPECT_FALSE(nfs_.isOrdinaryFile(""));
}

#ifndef _WIN32
TEST_F(NativeFileSystemTest, LinksCountAsWhatTheyPointTo) {
    const std::string target = file("target.dat", 3);
    fs::create_symlink(target, dir_ / "link.dat");
    fs::create_symlink(dir_ / "gone.dat", dir_ / "dangling.dat");
    EXPECT_TRUE(nfs_.isOrdinaryFile(utf8(dir_ / "link.dat")));
    EXPECT_FALSE(nfs_.isOrdinaryFile(utf8(dir_ / "dangling.dat")));
    EXPECT_EQ(nfs_.fileLength(utf8(dir_ / "link.dat")), 3);
}
#endif

TEST_F(NativeFileSystemTest, LengthOfExistingFiles) {
    for (std::size_t bytes : {0u, 1u, 65535u, 65536u, 65537u}) {
        const std::string name = std::string("f").append(std::to_string(bytes)).append(".bin");
        EXPECT_EQ(nfs_.fileLength(file(name, bytes)), static_cast<std::int32_t>(bytes));
    }
}

TEST_F(NativeFileSystemTest, MissingOrUnreachableFilesRaiseWithTheReason) {
    const std::string missing = utf8(dir_ / "missing.bin");
    try {
        nfs_.fileLength(missing);
        FAIL() << "no error for a missing file";
    } catch (const FileSystemError& e) {
        const std::string reason =
            std::make_error_code(std::errc::no_such_file_or_directory).message();
        EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("missing.bin"), std::string::npos) << e.what();
    }
    fs::create_directory(dir_ / "dir.bin");
    EXPECT_THROW(nfs_.fileLength(utf8(dir_ / "dir.bin")), FileSystemError);
    EXPECT_THROW(nfs_.fileLength(""), FileSystemError);
}

TEST_F(NativeFileSystemTest, LengthsBeyond32BitsRaise) {
    const fs::path big = dir_ / "big.bin";
    const fs::path edge = dir_ / "edge.bin";
    std::ofstream(big).close();
    std::ofstream(edge).close();
    std::error_code ec;
    fs::resize_file(big, 2147483648ULL, ec); // sparse: no data blocks are written
    if (ec) {
        GTEST_SKIP() << "cannot make a sparse 2 GiB file here: " << ec.message();
    }
    fs::resize_file(edge, 2147483647ULL, ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(nfs_.fileLength(utf8(edge)), 2147483647);
    EXPECT_THROW(nfs_.fileLength(utf8(big)), FileSystemError);
}

} // namespace
} // namespace quentra::core
