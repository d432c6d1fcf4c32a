// The native platform and console on POSIX: matches, reads and replaced files in a folder of
// the test's own, and the console's writes, where each call's lines arrive in one write of
// their own (standard output is here a socket of packets, which keeps the bounds of each write).
#include "driver/console.h"
#include "driver/platform.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace kest {
namespace {

namespace fs = std::filesystem;

// The native folder, with a known umask.
class PosixPlatform : public NativeFolderTest {
protected:
    void SetUp() override
    {
        NativeFolderTest::SetUp();
        previousUmask_ = ::umask(022);
    }

    void TearDown() override
    {
        ::umask(previousUmask_);
        NativeFolderTest::TearDown();
    }

    void makeDir(const std::string& name) const { ASSERT_EQ(::mkdir(path(name).c_str(), 0777), 0); }

    fs::perms modeOf(const std::string& name) const { return fs::status(path(name)).permissions(); }

    mode_t previousUmask_ = 022;
};

// Matches in byte order, a directory among them that is no file; the path keeps the pattern's
// directory part, relative or not, and the name never has one; a name with wildcard characters
// in it is found as the file it names.
TEST_F(PosixPlatform, Matches)
{
    for (const char* name : {"b.dm2", "a.dm2", "\xC3\xA9.dm2", "Z.dm2", "_x.dm2", "a.txt", "B.dm2", "odd[1].dm2"})
        makeFile(name);
    makeDir("sub.dm2");
    std::string expected;
    for (const char* name : {"B.dm2", "Z.dm2", "_x.dm2", "a.dm2", "b.dm2", "odd[1].dm2", "sub.dm2", "\xC3\xA9.dm2"})
        expected += std::string(name) + " " + path(name) + (name == std::string("sub.dm2") ? " other\n" : " file\n");
    EXPECT_EQ(matches(path("*.dm2")), expected);
    EXPECT_EQ(matches(path("odd[1].dm2")), "odd[1].dm2 " + path("odd[1].dm2") + " file\n");
    EXPECT_EQ(matches(path("odd[2].dm2")), "");

    makeFile("sub.dm2/x.dm2");
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    const std::string relative = matches("sub.dm2/*.dm2") + matches("a.*");
    fs::current_path(previous);
    EXPECT_EQ(relative, "x.dm2 sub.dm2/x.dm2 file\na.dm2 a.dm2 file\na.txt a.txt file\n");
}

TEST_F(PosixPlatform, ReadFile)
{
    expectReadAsOpened();
}

// A new file gets everyone's read and write less the umask; an existing one keeps its mode.
// The content is written whole, piece after piece. A directory in the way fails the write
// and leaves no temporary file.
TEST_F(PosixPlatform, ReplaceFile)
{
    for (const mode_t mask : {022, 077}) {
        ::umask(mask);
        ASSERT_TRUE(replace("new.log", "line\n"));
        EXPECT_EQ(modeOf("new.log"), fs::perms(0666 & ~mask)) << "umask " << mask;
        ASSERT_TRUE(fs::remove(path("new.log")));
    }
    for (const mode_t mode : {0600, 0640, 0604}) {
        makeFile("kest.log", "an older and longer log\n");
        ASSERT_EQ(::chmod(path("kest.log").c_str(), mode), 0);
        ASSERT_TRUE(replace("kest.log", "first\nsecond\n", 4));
        EXPECT_EQ(contents("kest.log"), "first\nsecond\n");
        EXPECT_EQ(modeOf("kest.log"), fs::perms(mode));
    }
    ASSERT_TRUE(replace("kest.log", ""));
    EXPECT_EQ(contents("kest.log"), "");
    makeDir("dir.log");
    makeFile("dir.log/inside", "kept");
    EXPECT_FALSE(replace("dir.log", "log\n"));
    EXPECT_EQ(matches(path("*")), "dir.log " + path("dir.log") + " other\nkest.log " + path("kest.log") + " file\n");
    EXPECT_EQ(contents("dir.log/inside"), "kept");
}

// Each call's lines leave in one write: each arrives as one packet.
TEST(NativeConsole, EachCallIsOneWrite)
{
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets), 0);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_GE(::dup2(sockets[0], STDOUT_FILENO), 0);
    {
        const auto console = makeNativeConsole();
        for (const std::string& lines : ConsoleWrites)
            console->write(lines);
    }
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(sockets[0]);

    std::vector<std::string> received;
    std::vector<char> packet(1 << 17);
    for (ssize_t got; (got = ::recv(sockets[1], packet.data(), packet.size(), 0)) > 0;)
        received.emplace_back(packet.data(), static_cast<std::size_t>(got));
    ::close(sockets[1]);
    EXPECT_EQ(received, ConsoleWrites);
}

}  // namespace
}  // namespace kest
