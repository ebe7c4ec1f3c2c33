#include "core/base/atomicfile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fenlowick {

namespace {

constexpr std::size_t kBlockSize = 4u << 20;
/// Direct I/O wants memory, file offsets and sizes aligned to the device's logical block;
/// a page is a multiple of every usual one.
constexpr std::size_t kDirectAlignment = 4096;
/// Through the page cache, the writer waits for the write-back of blocks this far behind the
/// last one written, and drops them from the cache: the disk has as much queued meanwhile,
/// and a file holds no more of the cache than this and the blocks being written.
constexpr std::uint64_t kWriteBehindLag = 2 * kBlockSize;

std::string reasonText(int error) {
    return std::strerror(error);
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

/// This machine's name as temporary names carry it: a process id means something only on
/// the machine that runs it, and a shared folder may be written from several.
std::string hostName() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') {
        return "host";
    }
    std::string text(name.data());
    for (char& c : text) {
        if (c == '/' || c == '-') {
            c = '_';
        }
    }
    return text;
}

/// What follows ".partial-" in a temporary name, before the random part: the host and the
/// process id of its writer.
std::string partialMarker(const std::string& host, long pid) {
    return ".partial-" + host + "-" + std::to_string(pid) + "-";
}

} // namespace

/// Appends to the file: directly where the file system takes it, otherwise through the page
/// cache with write-behind (see AtomicFile). Used by one thread at a time: the block writer's
/// while there is one, the caller's before and after.
class AtomicFile::BlockOutput {
public:
    BlockOutput(int fd, bool direct, const FileWriteRoute& route)
        : m_fd(fd), m_direct(direct), m_syncRange(route.syncRange) {}

    /// Appends all `size` bytes; 0, or the number of the first error of the write or of the
    /// write-back of earlier blocks.
    int append(const char* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_fd, data + done, size - done);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno == EINVAL && m_direct) {
                    // The file system takes the flag but not the direct write: go on
                    // through the page cache.
                    stopDirect();
                    continue;
                }
                return errno;
            }
            done += static_cast<std::size_t>(n);
            m_written += static_cast<std::uint64_t>(n);
        }
        return m_direct ? 0 : writeBehind();
    }

    /// Goes on through the page cache, as a last block of any length must.
    void stopDirect() {
        const int flags = ::fcntl(m_fd, F_GETFL);
        if (flags >= 0) {
            ::fcntl(m_fd, F_SETFL, flags & ~O_DIRECT);
        }
        m_direct = false;
    }

private:
    /// Starts the write-back of what was written since the last start, once that is a block,
    /// and waits for what was started more than kWriteBehindLag ago, dropping it from the
    /// cache. A failed write-back is reported here: once a wait has reported it, the sync at
    /// the end would not report it again.
    int writeBehind() {
#if defined(__linux__)
        if (!m_writeBehind) {
            return 0;
        }
        if (m_written - m_started >= kBlockSize) {
            if (const int error = syncRange(m_started, m_written, SYNC_FILE_RANGE_WRITE)) {
                return error;
            }
            m_started = m_written;
        }
        if (m_writeBehind && m_started - m_settled > kWriteBehindLag) {
            const std::uint64_t to = m_started - kWriteBehindLag;
            constexpr unsigned kWait =
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
            if (const int error = syncRange(m_settled, to, kWait)) {
                return error;
            }
            if (m_writeBehind) {
                ::posix_fadvise(m_fd, static_cast<off_t>(m_settled),
                                static_cast<off_t>(to - m_settled), POSIX_FADV_DONTNEED);
                m_settled = to;
            }
        }
#endif
        return 0;
    }

#if defined(__linux__)
    /// 0, or the number of a failure that lost data. Where write-back cannot be asked for
    /// (a pipe, a file system without it), the writer stops asking and the sync at the end
    /// does it all.
    int syncRange(std::uint64_t from, std::uint64_t to, unsigned flags) {
        const auto offset = static_cast<std::int64_t>(from);
        const auto size = static_cast<std::int64_t>(to - from);
        const int result = m_syncRange != nullptr ? m_syncRange(m_fd, offset, size, flags)
                                                  : ::sync_file_range(m_fd, offset, size, flags);
        if (result == 0) {
            return 0;
        }
        const int error = errno;
        if (error == EIO || error == ENOSPC || error == EDQUOT) {
            return error;
        }
        m_writeBehind = false;
        return 0;
    }
#endif

    int m_fd;
    bool m_direct;
    bool m_writeBehind = true;
    decltype(FileWriteRoute::syncRange) m_syncRange;
    std::uint64_t m_written = 0; ///< bytes appended so far
    std::uint64_t m_started = 0; ///< write-back started for the bytes before this
    std::uint64_t m_settled = 0; ///< the bytes before this are on the disk, out of the cache
};

/// Writes full blocks to the file, in the order given, on a thread of its own, with a
/// second block to fill meanwhile. After a failure it writes nothing more and keeps the
/// first error. The output must stay open until the writer is destroyed.
class AtomicFile::BlockWriter {
public:
    /// `spare`: an aligned block of kBlockSize, owned by the writer from now on.
    BlockWriter(BlockOutput& output, char* spare) : m_output(output), m_free(spare) {
        m_thread = std::thread([this] { run(); });
    }

    ~BlockWriter() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
        std::free(m_pending);
        std::free(m_free);
    }

    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    /// Hands over a full block and returns an empty one, once the block before it is
    /// written. `error` is set to the first failure so far (0 for none).
    char* exchange(char* full, int& error) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [&] { return m_free != nullptr; });
        char* empty = m_free;
        m_free = nullptr;
        m_pending = full;
        error = m_error;
        lock.unlock();
        m_wake.notify_all();
        return empty;
    }

    /// Waits until every block handed over is written; the first failure, or 0.
    int drain() {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [&] { return m_pending == nullptr && !m_writing; });
        return m_error;
    }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_pending != nullptr || m_stop; });
            if (m_pending == nullptr) {
                return;
            }
            char* block = m_pending;
            m_pending = nullptr;
            m_writing = true;
            // Once a write failed, or the file is being discarded, nothing more is written.
            const bool skip = m_error != 0 || m_stop;
            lock.unlock();
            const int error = skip ? 0 : m_output.append(block, kBlockSize);
            lock.lock();
            m_writing = false;
            if (error != 0 && m_error == 0) {
                m_error = error;
            }
            m_free = block;
            m_wake.notify_all();
        }
    }

    BlockOutput& m_output;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    char* m_pending = nullptr; ///< the block to write next
    char* m_free = nullptr;    ///< the block written last, to fill again
    bool m_writing = false;
    bool m_stop = false;
    int m_error = 0;
    std::thread m_thread;
};

void removeAbandonedPartials(const std::string& folder) {
    namespace fs = std::filesystem;
    const std::string marker = ".partial-" + hostName() + "-";
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::size_t at = name.rfind(marker);
        if (name.empty() || name[0] != '.' || at == std::string::npos) {
            continue;
        }
        // "<pid>-XXXXXX" after the marker.
        const std::string rest = name.substr(at + marker.size());
        const std::size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos || rest.size() != dash + 7 ||
            rest.find_first_not_of("0123456789") != dash) {
            continue;
        }
        const long pid = std::strtol(rest.c_str(), nullptr, 10);
        std::error_code typeError;
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH &&
            it->is_regular_file(typeError)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

AtomicFile::AtomicFile(std::string targetPath, FileWriteRoute route)
    : m_target(std::move(targetPath)), m_route(route) {}

AtomicFile::~AtomicFile() {
    if (!m_committed) {
        discard();
    }
}

Status AtomicFile::fail(std::string_view what, int error) {
    discard();
    return Error{Error::Kind::FileWrite,
                 std::string(what) + " " + m_target + ": " + reasonText(error)};
}

Status AtomicFile::open(bool removeAbandoned) {
    const std::filesystem::path target(m_target);
    const std::filesystem::path folder = target.parent_path();
    // Temporary files of our writers that were killed before they could remove them.
    if (removeAbandoned) {
        removeAbandonedPartials(folder.string());
    }
    std::string pattern = (folder.empty() ? std::string() : folder.string() + "/") + "." +
                          target.filename().string() +
                          partialMarker(hostName(), static_cast<long>(::getpid())) + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    m_fd = ::mkstemp(name.data());
    if (m_fd < 0) {
        const int error = errno;
        return fail("Could not create", error);
    }
    m_temporary = name.data();
    // mkstemp creates the file private to its owner; give it the usual permissions.
    ::fchmod(m_fd, static_cast<mode_t>(0666) & ~currentUmask());
    // Without a block the bytes go out as they come, through the page cache.
    m_block = static_cast<char*>(std::aligned_alloc(kDirectAlignment, kBlockSize));
    bool direct = false;
    if (m_block != nullptr && m_route.directIo) {
        const int flags = ::fcntl(m_fd, F_GETFL);
        direct = flags >= 0 && ::fcntl(m_fd, F_SETFL, flags | O_DIRECT) == 0;
    }
    m_output = std::make_unique<BlockOutput>(m_fd, direct, m_route);
    return ok();
}

void AtomicFile::releaseBlock() {
    std::free(m_block);
    m_block = nullptr;
    m_blockUsed = 0;
}

void AtomicFile::startBlockWriter() {
    char* spare = static_cast<char*>(std::aligned_alloc(kDirectAlignment, kBlockSize));
    if (spare == nullptr) {
        return;
    }
    try {
        m_blockWriter = std::make_unique<BlockWriter>(*m_output, spare);
    } catch (const std::exception&) {
        // Out of memory or threads: the blocks are written by the caller.
        std::free(spare);
    }
}

Status AtomicFile::write(std::string_view bytes) {
    if (m_fd < 0) {
        return Error{Error::Kind::FileWrite, "Could not write " + m_target + ": not open"};
    }
    if (m_block == nullptr) {
        if (const int error = m_output->append(bytes.data(), bytes.size())) {
            return fail("Could not write", error);
        }
        return ok();
    }
    // Whole blocks only; what is left at the end goes out in finish().
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kBlockSize - m_blockUsed);
        std::memcpy(m_block + m_blockUsed, bytes.data(), n);
        m_blockUsed += n;
        bytes.remove_prefix(n);
        if (m_blockUsed < kBlockSize) {
            continue;
        }
        if (!m_blockWriter) {
            startBlockWriter();
        }
        int error = 0;
        if (m_blockWriter) {
            m_block = m_blockWriter->exchange(m_block, error);
        } else {
            // No second block or no thread: this one is written here.
            error = m_output->append(m_block, kBlockSize);
        }
        m_blockUsed = 0;
        if (error != 0) {
            return fail("Could not write", error);
        }
    }
    return ok();
}

Status AtomicFile::finish() {
    if (m_fd < 0) {
        return Error{Error::Kind::FileWrite, "Could not write " + m_target + ": not open"};
    }
    if (m_blockWriter) {
        const int error = m_blockWriter->drain();
        m_blockWriter.reset();
        if (error != 0) {
            return fail("Could not write", error);
        }
    }
    if (m_blockUsed > 0) {
        // The last, partial block cannot go out directly.
        m_output->stopDirect();
        if (const int error = m_output->append(m_block, m_blockUsed)) {
            return fail("Could not write", error);
        }
    }
    releaseBlock();
    if (::fsync(m_fd) != 0) {
        const int error = errno;
        return fail("Could not write", error);
    }
    m_output.reset();
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        return fail("Could not write", error);
    }
    m_finished = true;
    return ok();
}

Status AtomicFile::commit() {
    if (!m_finished) {
        if (Status s = finish(); !s) {
            return s;
        }
    }
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        const int error = errno;
        return fail("Could not replace", error);
    }
    m_committed = true;
    return ok();
}

void AtomicFile::discard() {
    // The writer's thread may still be writing to the file.
    m_blockWriter.reset();
    m_output.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty() && !m_committed) {
        ::unlink(m_temporary.c_str());
    }
    m_temporary.clear();
    releaseBlock();
    m_finished = false;
}

Status writeFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicFile file(path);
    if (Status s = file.open(); !s) {
        return s;
    }
    if (Status s = file.write(bytes); !s) {
        return s;
    }
    return file.commit();
}

Status writeFilesTogether(const std::vector<FileText>& files, const std::atomic<bool>* cancel) {
    const auto cancelled = [cancel] { return cancel != nullptr && cancel->load(); };
    const Error stopped{Error::Kind::Cancelled, "Stopped before the files were written"};
    std::vector<std::unique_ptr<AtomicFile>> written;
    // Each folder is cleared of abandoned temporary files once, not once per file: thousands
    // of files into one folder would read it thousands of times.
    std::set<std::string> cleared;
    for (const FileText& file : files) {
        if (cancelled()) {
            return stopped;
        }
        written.push_back(std::make_unique<AtomicFile>(file.path));
        AtomicFile& atomic = *written.back();
        const std::string folder = std::filesystem::path(file.path).parent_path().string();
        if (cleared.insert(folder).second) {
            removeAbandonedPartials(folder);
        }
        // On a failure the destructors remove every temporary file written so far.
        if (Status s = atomic.open(false); !s) {
            return s;
        }
        if (Status s = atomic.write(file.text); !s) {
            return s;
        }
        if (Status s = atomic.finish(); !s) {
            return s;
        }
    }
    // A folder in a file's place would refuse its move after the files before it had been
    // moved: every target is looked at before any is replaced.
    for (const FileText& file : files) {
        std::error_code ec;
        if (std::filesystem::is_directory(file.path, ec)) {
            return Error{Error::Kind::FileWrite,
                         "Could not replace " + file.path + ": " + reasonText(EISDIR)};
        }
    }
    if (cancelled()) {
        return stopped;
    }
    for (const std::unique_ptr<AtomicFile>& atomic : written) {
        if (Status s = atomic->commit(); !s) {
            return s;
        }
    }
    return ok();
}

std::optional<std::string> notAFileToRead(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec) {
        return std::nullopt;
    }
    if (std::filesystem::is_directory(status)) {
        return "it is a folder, not a file";
    }
    if (!std::filesystem::is_regular_file(status)) {
        return "it is not a regular file (a pipe, a device or a socket)";
    }
    return std::nullopt;
}

Expected<std::string> readWholeFile(const std::string& path, std::size_t maxBytes) {
    const auto fail = [&](const std::string& reason) {
        return Error{Error::Kind::FileRead, "Could not read " + path + ": " + reason};
    };
    if (auto reason = notAFileToRead(path)) {
        return fail(*reason);
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return fail(reasonText(errno));
    }
    std::string content;
    std::array<char, 65536> chunk{};
    while (true) {
        const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file);
        content.append(chunk.data(), n);
        if (content.size() > maxBytes) {
            std::fclose(file);
            return fail("the file is larger than " + std::to_string(maxBytes / 1024) +
                        " KiB, too large for this kind of file");
        }
        if (n < chunk.size()) {
            const bool failed = std::ferror(file) != 0;
            const int error = errno;
            std::fclose(file);
            if (failed) {
                return fail(reasonText(error));
            }
            break;
        }
    }
    return content;
}

} // namespace fenlowick
