#include "core/base/atomicfile.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/magic.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fenlowick {
namespace {

using test::filesIn;
using test::readFile;
using test::TempDir;
using test::writeFile;
using Names = std::vector<std::string>;

// Files a run creates show in CalculationRun's tests, writing in pieces in
// LargeFilesArriveWhole....
TEST(AtomicFile, TargetIsUntouchedUntilCommitWhichGivesTheUsualPermissionsAndNoTemporaryStays) {
    TempDir dir;
    const std::string path = dir.file("a.out");
    writeFile(path, "earlier");
    const mode_t mask = ::umask(022);
    for (const char* end : {"discard", "destroy", "commit"}) {
        SCOPED_TRACE(end);
        {
            AtomicFile file(path);
            ASSERT_TRUE(file.open());
            ASSERT_TRUE(file.write("new"));
            EXPECT_EQ(filesIn(dir.path()).size(), 2u); // the temporary sits beside the target
            EXPECT_EQ(readFile(path), "earlier");
            if (end == std::string("discard")) {
                file.discard(); // without finishing first
            } else {
                ASSERT_TRUE(file.finish());
                EXPECT_EQ(readFile(path), "earlier");
            }
            if (end == std::string("commit")) {
                ASSERT_TRUE(file.commit());
            }
        }
        EXPECT_EQ(readFile(path), end == std::string("commit") ? "new" : "earlier");
        EXPECT_EQ(filesIn(dir.path()), Names{"a.out"});
    }
    ::umask(mask);
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0644));
    {
        AtomicFile never(dir.file("b.out"));
        ASSERT_TRUE(never.open());
    }
    EXPECT_EQ(filesIn(dir.path()), Names{"a.out"});
}

TEST(AtomicFile, LargeFilesArriveWholeWhateverThePiecesTheFileSystemAndTheRoute) {
    // Pieces of every size, some across several blocks, in a folder on the disk (written
    // around the page cache where the system allows, and through it with write-behind) and,
    // where there is one, in memory.
    std::vector<std::pair<std::filesystem::path, FileWriteRoute>> folders;
    TempDir disk;
    folders.push_back({disk.path(), {}});
    folders.push_back({disk.path(), {.directIo = false}});
    const std::filesystem::path memory = "/dev/shm";
    std::error_code error;
    if (std::filesystem::is_directory(memory, error)) {
        folders.push_back({memory, {}});
    }
    std::string expected;
    std::uint32_t state = 12345;
    for (std::size_t piece = 0; expected.size() < (13u << 20); ++piece) {
        state = state * 1664525u + 1013904223u;
        const std::size_t size = piece == 7 ? (9u << 20) : state % 200000;
        for (std::size_t i = 0; i < size; ++i) {
            expected += static_cast<char>('a' + (expected.size() * 7 + piece) % 26);
        }
        expected += "\r\n";
    }
    for (const auto& [folder, route] : folders) {
        SCOPED_TRACE(folder.string() + (route.directIo ? "" : ", page cache"));
        const std::string path =
            (folder / ("fenlowick-atomic-" + std::to_string(::getpid()) + ".out")).string();
        {
            AtomicFile file(path, route);
            ASSERT_TRUE(file.open());
            std::size_t at = 0;
            std::uint32_t cut = 99;
            while (at < expected.size()) {
                cut = cut * 1664525u + 1013904223u;
                const std::size_t n = std::min<std::size_t>(
                    expected.size() - at, at < (6u << 20) ? cut % 70000 : cut % (5u << 20));
                ASSERT_TRUE(file.write(std::string_view(expected).substr(at, n)));
                at += n;
            }
            ASSERT_TRUE(file.commit());
        }
        EXPECT_TRUE(readFile(path) == expected);
        std::filesystem::remove(path, error);
    }
}

TEST(AtomicFile, FailedWriteLeavesTheEarlierFileAndNoTemporary) {
    // 6.4 MB, beyond one buffered block: the failure shows at the commit; 12.8 MB: at a
    // later write, when a block written meanwhile has failed. Either route.
    for (const auto& [pieces, route] : std::vector<std::pair<int, FileWriteRoute>>{
             {100, {}}, {200, {}}, {200, {.directIo = false}}}) {
        SCOPED_TRACE(std::to_string(pieces) + (route.directIo ? "" : ", page cache"));
        TempDir dir;
        const std::string path = dir.file("a.out");
        const std::string earlier(100, 'e');
        writeFile(path, earlier);
        Status status = ok();
        {
            test::FileSizeLimit limit(4096);
            AtomicFile file(path, route);
            ASSERT_TRUE(file.open());
            const std::string block(64 * 1024, 'x');
            for (int i = 0; i < pieces && status; ++i) {
                status = file.write(block);
            }
            if (status) {
                status = file.commit();
            }
        }
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().kind, Error::Kind::FileWrite);
        EXPECT_NE(status.error().message.find(path), std::string::npos) << status.error().message;
        EXPECT_EQ(readFile(path), earlier);
        EXPECT_EQ(filesIn(dir.path()), Names{"a.out"});
    }
}

#if defined(__linux__)
/// The system's write-back call, except that a wait for it fails with `waitError` (when not
/// 0); `waits` counts the waits asked for.
int waitError = 0;
int waits = 0;
int syncRangeWithFailingWaits(int fd, std::int64_t offset, std::int64_t size, unsigned flags) {
    if ((flags & SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
        ++waits;
        if (waitError != 0) {
            errno = waitError;
            return -1;
        }
    }
    return ::sync_file_range(fd, offset, size, flags);
}

TEST(AtomicFile, AWriteBackThatLostDataFailsTheWriteOneNotToBeHadIsLeftToTheSync) {
    // Through the page cache: once a wait has reported lost data, the sync at the end would
    // not report it again, so the write fails there and then; where the file system cannot
    // write back a range, the sync at the end does it all.
    const std::string piece(1u << 20, 'x');
    for (const auto& [error, fails] : std::vector<std::pair<int, bool>>{
             {EIO, true}, {ENOSPC, true}, {EDQUOT, true}, {EINVAL, false}, {ESPIPE, false}}) {
        SCOPED_TRACE(std::strerror(error));
        TempDir dir;
        const std::string path = dir.file("a.out");
        writeFile(path, "earlier");
        waitError = error;
        waits = 0;
        Status status = ok();
        {
            AtomicFile file(path, {.directIo = false, .syncRange = syncRangeWithFailingWaits});
            ASSERT_TRUE(file.open());
            for (int i = 0; i < 24 && status; ++i) {
                status = file.write(piece);
            }
            if (status) {
                status = file.commit();
            }
        }
        EXPECT_GT(waits, 0);
        if (fails) {
            ASSERT_FALSE(status);
            EXPECT_EQ(status.error().kind, Error::Kind::FileWrite);
            EXPECT_EQ(status.error().message,
                      "Could not write " + path + ": " + std::strerror(error));
            EXPECT_EQ(readFile(path), "earlier");
        } else {
            ASSERT_TRUE(status) << status.error().message;
            EXPECT_EQ(std::filesystem::file_size(path), 24u * piece.size());
        }
        EXPECT_EQ(filesIn(dir.path()), Names{"a.out"});
    }
    waitError = 0;
}

TEST(AtomicFile, ThroughThePageCacheALargeFileKeepsOnlyItsLastBlocksInMemory) {
    TempDir dir;
    struct statfs system {};
    if (::statfs(dir.path().c_str(), &system) != 0 || system.f_type == TMPFS_MAGIC) {
        GTEST_SKIP() << "a file in memory is never written back";
    }
    const std::size_t size = 64u << 20;
    AtomicFile file(dir.file("a.out"), {.directIo = false});
    ASSERT_TRUE(file.open());
    const std::string piece(1u << 20, 'x');
    for (std::size_t at = 0; at < size; at += piece.size()) {
        ASSERT_TRUE(file.write(piece));
    }
    // The temporary file's pages in the page cache: four 4 MB blocks at most (two being
    // written back, the one written last and the one being written), far from all 64 MB.
    const std::vector<std::string> names = filesIn(dir.path());
    ASSERT_EQ(names.size(), 1u);
    const int fd = ::open(dir.file(names[0]).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(map, MAP_FAILED);
    std::vector<unsigned char> resident(size / 4096);
    ASSERT_EQ(::mincore(map, size, resident.data()), 0);
    const auto cached = std::count_if(resident.begin(), resident.end(),
                                      [](unsigned char page) { return (page & 1) != 0; });
    ::munmap(map, size);
    ::close(fd);
    EXPECT_LE(cached * 4096, 16u << 20);
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(std::filesystem::file_size(dir.file("a.out")), size);
}
#endif

TEST(AtomicFile, UnwritableFolderIsAnErrorNamingTheFile) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    const std::string path = dir.file("plain/sub/a.out");
    AtomicFile file(path);
    const Status status = file.open();
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().kind, Error::Kind::FileWrite);
    EXPECT_NE(status.error().message.find(path), std::string::npos) << status.error().message;
    EXPECT_FALSE(file.write("x"));
    EXPECT_EQ(filesIn(dir.path()), Names{"plain"});
}

TEST(AtomicFile, ReadWholeFileTakesFilesUpToTheLimitAndNamesTheOneItRefuses) {
    // A missing file and a folder: see DataFile.UnreadableFilesAreErrorsNamingFileAndProblem.
    TempDir dir;
    const std::string big = dir.file("big.tot");
    writeFile(big, std::string(2000, 'x'));
    const auto tooLarge = readWholeFile(big, 1999);
    ASSERT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.error().kind, Error::Kind::FileRead);
    EXPECT_NE(tooLarge.error().message.find(big), std::string::npos);
    EXPECT_EQ(test::valueOf(readWholeFile(big, 2000)).size(), 2000u);
    // A pipe without a writer is refused at once instead of blocking the read.
    const std::string pipe = dir.file("pipe.tot");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const auto pipeRead = readWholeFile(pipe, 1000);
    ASSERT_FALSE(pipeRead);
    EXPECT_NE(pipeRead.error().message.find(pipe + ": it is not a regular file"), std::string::npos)
        << pipeRead.error().message;
    ASSERT_FALSE(readWholeFile("/dev/zero", 1000));
}

TEST(AtomicFile, FilesWrittenTogetherAreAllInPlaceOrNone) {
    TempDir dir;
    writeFile(dir.file("a.dat"), "earlier a");
    const std::vector<FileText> good{{dir.file("a.dat"), "new a"}, {dir.file("b.dat"), "new b"}};
    // The third file fails at its creation (no such folder), or at its writing (too large
    // for the file-size limit, as on a full disk): the first two must not appear either.
    std::vector<FileText> noFolder = good;
    noFolder.push_back({dir.file("missing/c.dat"), "c"});
    EXPECT_FALSE(writeFilesTogether(noFolder));
    EXPECT_EQ(filesIn(dir.path()), Names{"a.dat"});
    {
        std::vector<FileText> tooLarge = good;
        tooLarge.push_back({dir.file("c.dat"), std::string(4096, 'c')});
        test::FileSizeLimit limit(1024);
        const Status s = writeFilesTogether(tooLarge);
        ASSERT_FALSE(s);
        EXPECT_NE(s.error().message.find(dir.file("c.dat")), std::string::npos);
    }
    EXPECT_EQ(filesIn(dir.path()), Names{"a.dat"});
    EXPECT_EQ(readFile(dir.file("a.dat")), "earlier a");
    {
        // A folder where the third file goes: its move would fail after the first two.
        std::filesystem::create_directory(dir.file("c.dat"));
        std::vector<FileText> intoFolder = good;
        intoFolder.push_back({dir.file("c.dat"), "c"});
        const Status s = writeFilesTogether(intoFolder);
        ASSERT_FALSE(s);
        EXPECT_EQ(s.error().message, "Could not replace " + dir.file("c.dat") + ": Is a directory");
        EXPECT_EQ(filesIn(dir.path()), (Names{"a.dat", "c.dat"}));
        EXPECT_EQ(readFile(dir.file("a.dat")), "earlier a");
        std::filesystem::remove(dir.file("c.dat"));
    }

    ASSERT_TRUE(writeFilesTogether(good));
    EXPECT_EQ(filesIn(dir.path()), (Names{"a.dat", "b.dat"}));
    EXPECT_EQ(readFile(dir.file("a.dat")), "new a");
}

TEST(AtomicFile, TemporaryFilesOfWritersThatDiedAreRemovedByTheNextWriter) {
    TempDir dir;
    // The temporary name tells this machine's part of the name: ".r.out.partial-HOST-PID-".
    AtomicFile probe(dir.file("r.out"));
    ASSERT_TRUE(probe.open());
    const std::string temporary = filesIn(dir.path()).front();
    const std::string own = "-" + std::to_string(::getpid()) + "-";
    ASSERT_EQ(temporary.rfind(own), temporary.size() - own.size() - 6) << temporary;
    const std::string host = temporary.substr(0, temporary.rfind(own)); // ".r.out.partial-HOST"
    probe.discard();

    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    const std::string dead = "-" + std::to_string(child) + "-";
    const Names kept{".r.out.partial-elsewhere" + dead + "abcdef", // another machine's
                     host + own + "abcdef",                        // a writer still running
                     host.substr(1) + dead + "abcdef"};            // no leading point: not ours
    for (const std::string& name : kept) {
        writeFile(dir.file(name), "x");
    }
    writeFile(dir.file(host + dead + "abcdef"), "left by a killed run");
    writeFile(dir.file(".t.tot" + host.substr(6) + dead + "123456"), "left too");
    AtomicFile next(dir.file("other.tot"));
    ASSERT_TRUE(next.open());
    next.discard();
    Names left = filesIn(dir.path());
    Names expected = kept;
    std::sort(left.begin(), left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);

    // Files written together clear every folder they go to, each once.
    const std::string sub = dir.file("sub");
    std::filesystem::create_directory(sub);
    for (const std::string& folder : {dir.path().string(), sub}) {
        writeFile(folder + "/" + host + dead + "zzzzzz", "left by a killed run");
    }
    ASSERT_TRUE(writeFilesTogether(
        {{dir.file("a.dat"), "a"}, {sub + "/b.dat", "b"}, {sub + "/c.dat", "c"}}));
    EXPECT_EQ(filesIn(sub), (Names{"b.dat", "c.dat"}));
    const Names top = filesIn(dir.path());
    EXPECT_EQ(std::count(top.begin(), top.end(), host + dead + "zzzzzz"), 0);
    EXPECT_EQ(std::count(top.begin(), top.end(), "a.dat"), 1);
}

} // namespace
} // namespace fenlowick
