#pragma once

#include "core/base/expected.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// How an AtomicFile reaches the file system. The defaults are what every writer of the
/// program uses; tests take the page-cache path on any file system and make write-back fail.
struct FileWriteRoute {
    /// Write around the page cache where the file system allows it.
    bool directIo = true;
    /// Starts or waits for the write-back of a range of the file, as the system's
    /// sync_file_range does (its flags, -1 and errno on failure); nullptr for the system's own.
    int (*syncRange)(int fd, std::int64_t offset, std::int64_t size, unsigned flags) = nullptr;
};

/// A file written under a temporary name in its target folder (".NAME.partial-HOST-PID-" and
/// six random characters) and renamed over the target only by commit(), so that the target
/// is either the complete new file or left as it was.
/// Writes are buffered in large blocks. If the object is destroyed without a successful
/// commit, the temporary file is removed. Not copyable; one writer per object.
///
/// Where the file system allows it, the blocks go straight to the disk (direct I/O) rather
/// than through the page cache: a large result file then costs one pass over the disk and
/// no copy into the cache, and the sync before the rename has little left to do. Elsewhere
/// each block's write-back starts as soon as it is written, and a couple of blocks behind
/// the writer waits for it and drops it from the cache: the disk works while later records
/// are made, the sync finds little left, and a large file holds only a few blocks of memory.
/// Full blocks are written by a thread of the file's own while the next block fills; a
/// failure of theirs, or of their write-back, is reported by a later write() or by finish().
class AtomicFile {
public:
    explicit AtomicFile(std::string targetPath, FileWriteRoute route = {});
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Creates the temporary file, first removing our writers' abandoned temporary files from
    /// its folder unless `removeAbandoned` is false (the caller has just done so). The error
    /// names the target and the reason.
    Status open(bool removeAbandoned = true);

    /// Appends bytes; the error names the target and the reason (a full disk, say).
    Status write(std::string_view bytes);

    /// Flushes, syncs to disk and closes the temporary file, leaving it under its temporary
    /// name; the target is not touched yet.
    Status finish();

    /// Moves a finished file into place, replacing any file of the target's name.
    Status commit();

    /// Removes the temporary file, whatever state it is in.
    void discard();

    const std::string& targetPath() const { return m_target; }

private:
    class BlockOutput;
    class BlockWriter;

    Status fail(std::string_view what, int error);
    void startBlockWriter();
    void releaseBlock();

    std::string m_target;
    std::string m_temporary;
    FileWriteRoute m_route;
    std::unique_ptr<BlockOutput> m_output;      ///< the open file's end, see BlockOutput
    std::unique_ptr<BlockWriter> m_blockWriter; ///< started at the first full block
    char* m_block = nullptr;                    ///< one aligned block being filled
    std::size_t m_blockUsed = 0;                ///< bytes in m_block
    int m_fd = -1;
    bool m_finished = false;
    bool m_committed = false;
};

/// Removes from a folder the temporary files of AtomicFile writers on this machine whose
/// process no longer runs (killed before they could clean up). Their names carry the host
/// and the process id; files of running writers, of other machines or of anyone else stay.
/// AtomicFile::open calls it for its target's folder.
void removeAbandonedPartials(const std::string& folder);

/// Writes a whole file at once through AtomicFile.
Status writeFileAtomically(const std::string& path, std::string_view bytes);

/// One file of writeFilesTogether: its path and its whole content.
struct FileText {
    std::string path;
    std::string text;
};

/// Writes several whole files so that either all of them are in place or none is: each is
/// written and synced under its temporary name first, and only once every one is complete
/// are they moved into place, so a full disk or an unwritable folder leaves nothing behind.
/// A folder standing where a file goes is refused before any file is moved. Moving into
/// place needs no space; should a move still fail, the files moved before it stay. The
/// error names the file. Once `cancel` is set (checked before each file and before the
/// moves) it stops with a Cancelled error and nothing written.
Status writeFilesTogether(const std::vector<FileText>& files,
                          const std::atomic<bool>* cancel = nullptr);

/// Why `path` is no file to read, although it exists: "it is a folder, not a file", or "it is
/// not a regular file (...)" for a pipe, device or socket, which could block a read for ever
/// or never end. Nothing for a regular file, or a path that does not exist (opening it then
/// gives the system's reason).
std::optional<std::string> notAFileToRead(const std::string& path);

/// Reads a whole file, refusing one larger than maxBytes and anything but a regular file
/// (a pipe or a device could block or never end). The error names the file and the reason.
Expected<std::string> readWholeFile(const std::string& path, std::size_t maxBytes);

} // namespace fenlowick
