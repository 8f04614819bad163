// A binary file over a plain file descriptor with 64-bit positions. There is
// no buffer here: the format classes keep their own large buffers and hand
// whole blocks to Read and Write, so every byte written has reached the
// operating system when Write returns.
#pragma once

#include <cstddef>
#include <cstdint>

// What tells one state of a file from another: the same file (device and
// inode), its size and its last modification to the nanosecond. A file that
// keeps all four was not written in between.
struct StructFileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t modifiedNs = 0;

    bool operator==(const StructFileIdentity &) const = default;
};

class CBinaryFile {
  public:
    CBinaryFile() = default;
    ~CBinaryFile();
    CBinaryFile(const CBinaryFile &) = delete;
    CBinaryFile &operator=(const CBinaryFile &) = delete;

    // Both fail for a null or over-long path, a folder, a missing folder on
    // the way, and when this object already has a file open. OpenRead also
    // refuses at once, without waiting, anything but a regular file (a FIFO,
    // a device, also through a link): reading it would never end.
    bool OpenRead(const wchar_t *clstrPath);
    enum class WriteMode : uint8_t {
        CreateOrReplace, // create the file or truncate an existing one
        // Only when nothing stands at the path, not even a link: two writers
        // racing for one name cannot both have it.
        CreateNew,
        // Only an existing file (also through a link), never a new one: a
        // dangling link creates nothing where it points.
        ReplaceExisting,
    };
    bool OpenWrite(const wchar_t *clstrPath, WriteMode enMode = WriteMode::CreateOrReplace);
    bool IsOpen() const { return m_lHandle >= 0; }

    // Reads until n bytes have arrived or the file ends; returns the count.
    // bError is set only by a read error, never by the end of the file.
    size_t Read(void *p, size_t n, bool &bError);
    // The same from lPosition on, leaving the file's position where it is:
    // threads may read one open file side by side.
    size_t ReadAt(void *p, size_t n, int64_t lPosition, bool &bError) const;
    // Writes until all n bytes are accepted or an error stops it (bError);
    // returns the bytes accepted.
    size_t Write(const void *p, size_t n, bool &bError);
    // Appends n bytes of clSource, from its offset lFrom on, at this file's
    // position, inside the operating system where it can (no copy through
    // this process); the source's own position stays. Returns the bytes
    // copied; bError as with Write, and also when the source ends early.
    // The target's blocks for a long copy are reserved first where the file
    // system can; a copy that ends short gives back what it did not fill.
    size_t CopyFrom(const CBinaryFile &clSource, int64_t lFrom, size_t n, bool &bError);
    // Written bytes already reach the operating system in Write, so this only
    // reports whether a file is open. No fsync: it would cost the speed.
    bool Flush();
    // False when closing reported an error (the descriptor is gone either
    // way); true when nothing was open.
    bool Close();

    // -1 when no file is open. Kept by the object rather than asked of the
    // system: readers ask for it after every record.
    int64_t Position() const;
    // Positions beyond the end are allowed; writing there leaves a hole.
    bool Seek(int64_t lPosition);
    // -1 when no file is open or the size cannot be had.
    int64_t Size() const;
    // False when no file is open or the system cannot tell.
    bool Identity(StructFileIdentity &clIdentity) const;
    // Cuts the file to lSize bytes and moves the position there; false when
    // that cannot be done (a device, for one), leaving the file as it was.
    bool Truncate(int64_t lSize);

  private:
    bool Open(const wchar_t *clstrPath, int lFlags);
    // CopyFrom's reads and writes in blocks, from lFrom of clSource.
    size_t CopyInBlocks(const CBinaryFile &clSource, int64_t lFrom, size_t n, bool &bError);

    int m_lHandle = -1;
    int64_t m_lPosition = -1;
};
