// The blocks of demos, read here with no code of kest's, for bench/vs_cat.sh:
//     demo_blocks count FILE...
//         prints how many blocks the files hold together, so that a count of
//         instructions can be divided by a count kest did not make;
//     demo_blocks multiview FOLDER [--count N] [--bytes BYTES] RECORDINGS
//         writes FOLDER/multiview-NNNNN.mvd2, N (100) files of about BYTES
//         (10,000,000) each, from the multi-view recordings in the folder
//         RECORDINGS (gzipped or not; told by their first bytes, not their
//         names), one recording a file in turn: the magic, the recording's
//         server data block, then its other blocks over and over until the
//         file holds BYTES, then the end marker. Exit code 3 when the folder
//         holds no multi-view recording.
// A player's demo (.dm2) is blocks behind a 4-byte signed length, -1 ends it;
// a multi-view recording starts with MVD2, then blocks behind a 2-byte
// unsigned length, 0 ends it. Either may also end after a whole block.
#include <zlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char MultiViewMagic[] = {'M', 'V', 'D', '2'};

// One demo's blocks in order, through zlib, which reads a file that is not gzip as it is.
class BlockReader {
public:
    explicit BlockReader(const std::string& path) : file_(gzopen(path.c_str(), "rb"))
    {
        if (file_ == nullptr)
            return;
        gzbuffer(file_, 1 << 20);
        char magic[sizeof MultiViewMagic];
        multiView_ = gzread(file_, magic, sizeof magic) == sizeof magic &&
                     std::memcmp(magic, MultiViewMagic, sizeof magic) == 0;
        if (!multiView_)
            gzrewind(file_);
    }
    ~BlockReader()
    {
        if (file_ != nullptr)
            gzclose(file_);
    }
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    bool opened() const { return file_ != nullptr; }
    bool multiView() const { return multiView_; }

    // The next block into `block`; false at the end marker, at the end of the
    // file, or where a block is cut short (such a block is not counted).
    bool next(Bytes& block)
    {
        const unsigned width = multiView_ ? 2 : 4;
        std::uint8_t field[4] = {};
        if (gzread(file_, field, width) != static_cast<int>(width))
            return false;
        const std::uint32_t length = field[0] | field[1] << 8 | field[2] << 16 | std::uint32_t{field[3]} << 24;
        // A multi-view length of 0 ends the recording; in a player's demo -1 does, and no block is longer than 2 GB.
        if (multiView_ ? length == 0 : length > INT32_MAX)
            return false;
        block.resize(length);
        return length == 0 || gzread(file_, block.data(), length) == static_cast<int>(length);
    }

private:
    gzFile file_;
    bool multiView_ = false;
};

int countBlocks(int count, char** paths)
{
    std::uint64_t blocks = 0;
    Bytes block;
    for (int at = 0; at < count; ++at) {
        BlockReader reader(paths[at]);
        if (!reader.opened()) {
            std::fprintf(stderr, "demo_blocks: cannot open %s\n", paths[at]);
            return 1;
        }
        while (reader.next(block))
            ++blocks;
    }
    std::printf("%" PRIu64 "\n", blocks);
    return 0;
}

struct Recording {
    Bytes serverData;
    std::vector<Bytes> play;
};

// The multi-view recordings in `folder`, in the order of their names.
std::vector<Recording> multiViewRecordings(const std::string& folder)
{
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error))
            paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<Recording> recordings;
    for (const auto& path : paths) {
        BlockReader reader(path.string());
        Recording recording;
        if (!reader.multiView() || !reader.next(recording.serverData))
            continue;
        for (Bytes block; reader.next(block);)
            recording.play.push_back(block);
        if (!recording.play.empty())
            recordings.push_back(std::move(recording));
    }
    return recordings;
}

void writeBlock(std::FILE* file, const Bytes& block)
{
    const std::uint8_t length[2] = {static_cast<std::uint8_t>(block.size()), static_cast<std::uint8_t>(block.size() >> 8)};
    std::fwrite(length, 1, sizeof length, file);
    std::fwrite(block.data(), 1, block.size(), file);
}

bool writeMultiView(const Recording& recording, std::uint64_t bytes, const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
    std::fwrite(MultiViewMagic, 1, sizeof MultiViewMagic, file);
    writeBlock(file, recording.serverData);
    std::uint64_t written = sizeof MultiViewMagic + 2 + recording.serverData.size();
    for (std::size_t next = 0; written < bytes; next = (next + 1) % recording.play.size()) {
        writeBlock(file, recording.play[next]);
        written += 2 + recording.play[next].size();
    }
    writeBlock(file, {});
    const bool complete = std::ferror(file) == 0;
    return std::fclose(file) == 0 && complete;
}

int makeMultiView(int argc, char** argv)
{
    std::string folder;
    std::string recordingsFolder;
    unsigned count = 100;
    std::uint64_t bytes = 10'000'000;
    for (int at = 0; at < argc; ++at) {
        const std::string argument = argv[at];
        if (argument.rfind("--", 0) != 0) {
            std::string& next = folder.empty() ? folder : recordingsFolder;
            if (!next.empty())
                return 2;
            next = argument;
            continue;
        }
        if (at + 1 == argc)
            return 2;
        char* end = nullptr;
        const std::uint64_t value = std::strtoull(argv[++at], &end, 10);
        if (end == argv[at] || *end != '\0')
            return 2;
        if (argument == "--count")
            count = static_cast<unsigned>(value);
        else if (argument == "--bytes")
            bytes = value;
        else
            return 2;
    }
    if (recordingsFolder.empty())
        return 2;
    const std::vector<Recording> recordings = multiViewRecordings(recordingsFolder);
    if (recordings.empty()) {
        std::fprintf(stderr, "demo_blocks: no multi-view recording in %s\n", recordingsFolder.c_str());
        return 3;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (unsigned index = 1; index <= count; ++index) {
        char name[32];
        std::snprintf(name, sizeof name, "/multiview-%05u.mvd2", index);
        if (!writeMultiView(recordings[(index - 1) % recordings.size()], bytes, folder + name)) {
            std::fprintf(stderr, "demo_blocks: cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
    }
    std::printf("multiview: %u files from %zu recordings\n", count, recordings.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    int status = 2;
    if (command == "count" && argc > 2)
        status = countBlocks(argc - 2, argv + 2);
    else if (command == "multiview")
        status = makeMultiView(argc - 2, argv + 2);
    if (status == 2)
        std::fprintf(stderr,
                     "usage: demo_blocks count FILE...\n"
                     "       demo_blocks multiview FOLDER [--count N] [--bytes BYTES] RECORDINGS\n");
    return status;
}
