#include "kest_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace kest::e2e {
namespace {

// Long enough for the largest run under the sanitizers; a kest that hangs is killed by then.
constexpr unsigned RunTimeLimitSeconds = 60;

const std::string WritingLine = "\nWriting kest.log...\n";

std::string readAll(int fd)
{
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return bytes;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

}  // namespace

const std::string Usage =
    "\nKest 0.60, 98-11-04"
    "\nUsage: kest <demoname.dm2>"
    "\nWildcards are allowed (i. e. kest *.dm2)\n"
    "\nThe log will be written to kest.log, not displayed as until v0.51\n"
    "\nDisplayed message types: FRAG (frag), CLSV (client/server), CHAT (chat)\n";

std::string completedOutput(const std::string& demoLines)
{
    return "\n" + demoLines + WritingLine + "\n# seconds elapsed\n";
}

std::string maskedOutput(const std::string& output)
{
    const std::string suffix = " seconds elapsed\n";
    const std::size_t suffixAt = output.size() - std::min(output.size(), suffix.size());
    const std::size_t lineStart = suffixAt == 0 ? std::string::npos : output.rfind('\n', suffixAt - 1);
    if (output.compare(suffixAt, std::string::npos, suffix) != 0 || lineStart == std::string::npos)
        return output;
    // Only a figure exactly as "%.2f" writes it is masked.
    const std::string figure = output.substr(lineStart + 1, suffixAt - lineStart - 1);
    char remade[64];
    std::snprintf(remade, sizeof remade, "%.2f", std::strtod(figure.c_str(), nullptr));
    return figure == remade ? output.substr(0, lineStart + 1) + "#" + suffix : output;
}

std::string maskedOutput(const KestRun& run)
{
    return maskedOutput(run.output);
}

std::string failedOutput(const std::string& demoLines, const std::string& message)
{
    return "\n" + demoLines + "\nERROR: " + message + "\n";
}

Bytes demo(const std::vector<MessageWriter>& blocks)
{
    DemoWriter writer;
    for (const MessageWriter& block : blocks)
        writer.block(block);
    return writer.endMarker().bytes();
}

std::optional<std::string> readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void KestTest::SetUp()
{
    std::string pattern = (std::filesystem::path(::testing::TempDir()) / "kest-e2e-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "cannot make a folder like " << pattern;
    root_ = pattern;
    work_ = root_ / "work";
    std::filesystem::create_directory(work_);
}

void KestTest::TearDown()
{
    if (root_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void KestTest::write(const std::string& name, const Bytes& bytes) const
{
    std::filesystem::create_directories(path(name).parent_path());
    ASSERT_TRUE(demo_writer::writeFile(path(name).string(), bytes)) << "cannot write " << name;
}

void KestTest::write(const std::string& name, const std::string& text) const
{
    write(name, Bytes(text.begin(), text.end()));
}

KestRun KestTest::run(const std::vector<std::string>& arguments, const RunSetting& setting) const
{
    // Everything the child needs is made before the fork: after it, only plain system calls.
    std::vector<std::string> argumentCopies;
    argumentCopies.reserve(arguments.size() + 1);
    argumentCopies.emplace_back(KEST_BINARY);
    argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentCopies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string workFolder = work_.string();
    const std::string errorsFile = (root_ / "stderr").string();

    KestRun result;
    int output[2];
    if (::pipe(output) != 0) {
        ADD_FAILURE() << "pipe failed";
        return result;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const int errors = ::open(errorsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (errors < 0 || ::chdir(workFolder.c_str()) != 0 || ::dup2(output[1], STDOUT_FILENO) < 0 ||
            ::dup2(errors, STDERR_FILENO) < 0)
            ::_exit(127);
        ::close(output[0]);
        ::close(output[1]);
        ::close(errors);
        ::umask(setting.umask);
        if (setting.fileSizeLimit != RLIM_INFINITY) {
            const struct rlimit limit = {setting.fileSizeLimit, setting.fileSizeLimit};
            ::signal(SIGXFSZ, SIG_IGN);
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(127);
        }
        ::alarm(RunTimeLimitSeconds);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    if (child < 0) {
        ::close(output[0]);
        ADD_FAILURE() << "fork failed";
        return result;
    }
    result.output = readAll(output[0]);
    ::close(output[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.errors = readFile(errorsFile).value_or("");
    return result;
}

KestRun KestTest::runLeavingLogAsItWas(const std::vector<std::string>& arguments, const RunSetting& setting)
{
    std::filesystem::remove(path("kest.log"));
    const KestRun fresh = run(arguments, setting);
    EXPECT_FALSE(log()) << "the run made a kest.log";

    const std::string earlier = "Demo filename: earlier.dm2\nDemo filesize: 1\n\nTIME: 00:00:00 CHAT: \xE9t\xE9";
    write("kest.log", earlier);
    const KestRun over = run(arguments, setting);
    EXPECT_EQ(log(), earlier) << "the run changed the earlier kest.log";
    EXPECT_EQ(maskedOutput(over), maskedOutput(fresh));
    EXPECT_EQ(over.exitCode, fresh.exitCode);
    return fresh;
}

}  // namespace kest::e2e
