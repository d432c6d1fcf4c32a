#include "driver/platform.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "log/log_writer.h"

namespace kest {
namespace {

// Each test works in a fresh directory of its own, with a known umask.
class PosixPlatform : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/kest-unit-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
        previousUmask_ = ::umask(022);
    }

    void TearDown() override
    {
        ::umask(previousUmask_);
        std::filesystem::remove_all(dir_);
    }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    void makeFile(const std::string& name, const std::string& bytes = "demo") const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    static std::string contents(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static mode_t modeOf(const std::string& file)
    {
        struct stat status {};
        EXPECT_EQ(::stat(file.c_str(), &status), 0) << file;
        return status.st_mode & 07777;
    }

    std::vector<std::string> namesInDir() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::vector<std::string> namesOf(const std::vector<DirectoryEntry>& entries)
    {
        std::vector<std::string> names;
        for (const DirectoryEntry& entry : entries)
            names.push_back(entry.name);
        return names;
    }

    std::unique_ptr<Platform> platform_ = makeNativePlatform();
    std::string dir_;
    mode_t previousUmask_ = 022;
};

using Names = std::vector<std::string>;

TEST_F(PosixPlatform, MatchesComeInByteOrderOfTheirNames)
{
    for (const char* name : {"b.dm2", "a.dm2", "\xC3\xA9.dm2", "Z.dm2", "_x.dm2", "a.txt", "B.dm2"})
        makeFile(name);
    const std::vector<DirectoryEntry> found = platform_->findMatches(path("*.dm2"));
    EXPECT_EQ(namesOf(found), (Names{"B.dm2", "Z.dm2", "_x.dm2", "a.dm2", "b.dm2", "\xC3\xA9.dm2"}));
    for (const DirectoryEntry& entry : found) {
        EXPECT_EQ(entry.path, path(entry.name));
        EXPECT_TRUE(entry.isRegularFile) << entry.name;
    }
}

TEST_F(PosixPlatform, DirectoryPartStaysInThePathOnly)
{
    ASSERT_EQ(::mkdir(path("demos").c_str(), 0777), 0);
    makeFile("demos/x.dm2");
    const std::vector<DirectoryEntry> found = platform_->findMatches(path("demos/*.dm2"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "x.dm2");
    EXPECT_EQ(found[0].path, path("demos/x.dm2"));
}

TEST_F(PosixPlatform, RelativePatternGivesBareNames)
{
    makeFile("a.dm2");
    char previous[PATH_MAX];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
    const std::vector<DirectoryEntry> found = platform_->findMatches("*.dm2");
    ASSERT_EQ(::chdir(previous), 0);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "a.dm2");
    EXPECT_EQ(found[0].path, "a.dm2");
}

TEST_F(PosixPlatform, DirectoriesAreNotRegularFiles)
{
    makeFile("f.dm2");
    ASSERT_EQ(::mkdir(path("sub.dm2").c_str(), 0777), 0);
    const std::vector<DirectoryEntry> found = platform_->findMatches(path("*.dm2"));
    ASSERT_EQ(namesOf(found), (Names{"f.dm2", "sub.dm2"}));
    EXPECT_TRUE(found[0].isRegularFile);
    EXPECT_FALSE(found[1].isRegularFile);
}

TEST_F(PosixPlatform, NameWithWildcardCharactersIsFoundLiterally)
{
    makeFile("odd[1].dm2");
    const std::vector<DirectoryEntry> found = platform_->findMatches(path("odd[1].dm2"));
    ASSERT_EQ(namesOf(found), (Names{"odd[1].dm2"}));
    EXPECT_EQ(found[0].path, path("odd[1].dm2"));
    EXPECT_TRUE(found[0].isRegularFile);
}

TEST_F(PosixPlatform, NothingMatchingGivesNothing)
{
    makeFile("a.txt");
    EXPECT_TRUE(platform_->findMatches(path("*.dm2")).empty());
    EXPECT_TRUE(platform_->findMatches(path("missing.dm2")).empty());
    EXPECT_TRUE(platform_->findMatches(path("no-such-dir/*.dm2")).empty());
}

TEST_F(PosixPlatform, ReadFile)
{
    FileBytes bytes;
    EXPECT_FALSE(platform_->readFile(path("missing.dm2"), bytes));

    makeFile("empty.dm2", "");
    ASSERT_TRUE(platform_->readFile(path("empty.dm2"), bytes));
    EXPECT_EQ(bytes.size, 0u);

    const std::string demo("\x06\x00\x00\x00\x0A\x03hi\n\x00\xFF\xFF\xFF\xFF", 14);
    makeFile("one.dm2", demo);
    ASSERT_TRUE(platform_->readFile(path("one.dm2"), bytes));
    ASSERT_EQ(bytes.size, demo.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data.get()), demo.size()), demo);

    ASSERT_EQ(::mkdir(path("dir.dm2").c_str(), 0777), 0);
    EXPECT_FALSE(platform_->readFile(path("dir.dm2"), bytes));
}

TEST_F(PosixPlatform, NewFileGetsTheModeLessTheUmask)
{
    for (const mode_t mask : {022, 0, 077, 027}) {
        SCOPED_TRACE(mask);
        ::umask(mask);
        const std::string file = path("new-" + std::to_string(mask) + ".log");
        ASSERT_TRUE(platform_->replaceFile(file, "line\n"));
        EXPECT_EQ(contents(file), "line\n");
        EXPECT_EQ(modeOf(file), 0666 & ~mask);
    }
}

TEST_F(PosixPlatform, ExistingFileKeepsItsMode)
{
    for (const mode_t mode : {0600, 0640, 0604, 0666}) {
        SCOPED_TRACE(mode);
        makeFile("kest.log", "an older and longer log\n");
        ASSERT_EQ(::chmod(path("kest.log").c_str(), mode), 0);
        ASSERT_TRUE(platform_->replaceFile(path("kest.log"), "new\n"));
        EXPECT_EQ(contents(path("kest.log")), "new\n");
        EXPECT_EQ(modeOf(path("kest.log")), mode);
    }
    EXPECT_EQ(namesInDir(), (Names{"kest.log"}));
}

TEST_F(PosixPlatform, EmptyBytesGiveAnEmptyFile)
{
    makeFile("kest.log", "old\n");
    ASSERT_TRUE(platform_->replaceFile(path("kest.log"), ""));
    EXPECT_EQ(contents(path("kest.log")), "");
}

TEST_F(PosixPlatform, DirectoryInTheWayFailsAndLeavesNoTemporaryFile)
{
    ASSERT_EQ(::mkdir(path("kest.log").c_str(), 0777), 0);
    makeFile("kest.log/inside", "kept");
    EXPECT_FALSE(platform_->replaceFile(path("kest.log"), "log\n"));
    EXPECT_EQ(namesInDir(), (Names{"kest.log"}));
    EXPECT_EQ(contents(path("kest.log/inside")), "kept");
}

TEST_F(PosixPlatform, MissingFolderFails)
{
    EXPECT_FALSE(platform_->replaceFile(path("no-such-dir/kest.log"), "log\n"));
    EXPECT_EQ(namesInDir(), Names{});
}

// A file-size limit makes the write fail halfway; the old log must survive whole.
TEST_F(PosixPlatform, FailedWriteLeavesTheOldFileUntouched)
{
    makeFile("kest.log", "old log\n");
    ASSERT_EQ(::chmod(path("kest.log").c_str(), 0640), 0);

    rlimit previousLimit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previousLimit;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool replaced = platform_->replaceFile(path("kest.log"), std::string(100, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(replaced);
    EXPECT_EQ(contents(path("kest.log")), "old log\n");
    EXPECT_EQ(modeOf(path("kest.log")), 0640u);
    EXPECT_EQ(namesInDir(), (Names{"kest.log"}));
}

TEST_F(PosixPlatform, LogWriterWritesTheRenderedLog)
{
    MessageList list;
    list.append(0, RecordKind::DemoFileName, "a.dm2");
    list.append(20, RecordKind::Frag, "x\n");
    ASSERT_TRUE(LogWriter().write(list, path("kest.log"), *platform_));
    EXPECT_EQ(contents(path("kest.log")), "Demo filename: a.dm2\n\nTIME: 00:00:02 FRAG: x\n");
}

}  // namespace
}  // namespace kest
