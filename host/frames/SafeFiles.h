// Reading and writing the program's files safely.
//
// Every file the program writes (snapshots, references, movies, states,
// recordings, reports) is written to a temporary file in the same folder and
// renamed over the old one only when it is complete, flushed and synced; a
// write that fails part-way (a full disk, a file size limit) leaves the old
// file as it was and removes the temporary one. A name that stands for
// something other than a regular file (a FIFO, a device, a folder) is
// refused before anything is opened, so nothing can block in open() or
// replace a device with a file.
//
// Every file the program reads is opened the same careful way: looked at
// first, opened without blocking, looked at again once open (it may have been
// swapped in between), and read up to a limit.
#pragma once

#include <cstdio>
#include <string>

// Why path cannot be written as a regular file ("" when it can): it exists
// and is a FIFO, a device, a folder or a socket.
std::string NotWritable(const std::string& path);

// A file written whole or not at all.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile(); // not committed: the temporary file is removed, the old file kept
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Makes the temporary file beside path (following a symbolic link named
    // path to the file it names). False with the reason in Error().
    bool Open(const std::string& path);
    // The temporary file, for the writer's own output (null when not open).
    std::FILE* File() const { return file_; }
    bool Write(const std::string& bytes);
    // Flushes, syncs, closes and renames the temporary file over path. False
    // (the old file kept) with the reason in Error().
    bool Commit();
    // Removes the temporary file; the old file stays.
    void Abort();
    bool IsOpen() const { return file_ != nullptr; }
    const std::string& Error() const { return error_; }

private:
    std::string target_, temp_, error_;
    std::FILE* file_ = nullptr;
    int slot_ = -1; // in the table of temporary files a signal removes
};

// Writes bytes to path through an AtomicFile. False with errno set (and the
// reason in *why when given) when it cannot be written; the old file stays.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* why = nullptr);

// Removes every temporary file still open. Safe in a signal handler: a run
// ended by a signal or its timeout leaves no half-written file behind.
void RemoveTemporaryFiles();

enum ReadFault { READ_OK, READ_MISSING, READ_NOT_REGULAR, READ_TOO_LARGE, READ_ERROR };

// Reads a whole regular file of at most limit bytes. On a fault *why says
// what is wrong, without the path ("not a regular file (a FIFO)", "larger
// than 1048576 bytes", the system's reason).
ReadFault ReadRegularFile(const std::string& path, size_t limit, std::string* text, std::string* why);

// ReadRegularFile for a caller that only reports: false with *error set to
// tooLarge past the limit, or to cannotRead followed by the reason.
bool ReadWholeFile(const std::string& path, size_t limit, std::string* text, const std::string& tooLarge,
                   const std::string& cannotRead, std::string* error);

// Reads fd to its end into *text, at most limit bytes (READ_TOO_LARGE past
// them, *why not set). With stopAtNul the reading ends after the first NUL
// byte, which is kept. A read error is READ_ERROR with the system's reason.
ReadFault ReadToEnd(int fd, size_t limit, bool stopAtNul, std::string* text, std::string* why);

// Opens a regular file for reading without blocking on a FIFO or a device:
// the descriptor, or -1 with *why set (as ReadRegularFile says it).
int OpenRegularFile(const std::string& path, std::string* why, ReadFault* fault = nullptr);
