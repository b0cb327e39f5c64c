#include "SafeFiles.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What kind of file a mode is, for messages.
const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

std::string NotRegularWhy(mode_t mode) { return std::string("not a regular file (") + KindOf(mode) + ")"; }

// The temporary files now open, by name, for RemoveTemporaryFiles. A fixed
// table of fixed buffers: a signal handler may read it while the program
// writes it, so a slot is filled before it is marked used and unmarked
// before it is reused.
const int TempSlots = 16;
char TempNames[TempSlots][PATH_MAX + 1];
volatile sig_atomic_t TempUsed[TempSlots];

int TakeSlot(const std::string& name) {
    if (name.size() > PATH_MAX) return -1;
    for (int i = 0; i < TempSlots; i++)
        if (!TempUsed[i]) {
            std::memcpy(TempNames[i], name.c_str(), name.size() + 1);
            TempUsed[i] = 1;
            return i;
        }
    return -1;
}

void FreeSlot(int slot) {
    if (slot >= 0) TempUsed[slot] = 0;
}

} // namespace

void RemoveTemporaryFiles() {
    for (int i = 0; i < TempSlots; i++)
        if (TempUsed[i]) {
            unlink(TempNames[i]);
            TempUsed[i] = 0;
        }
}

std::string NotWritable(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
    return NotRegularWhy(st.st_mode);
}

AtomicFile::~AtomicFile() { Abort(); }

bool AtomicFile::Open(const std::string& path) {
    Abort();
    error_.clear();
    const std::string refused = NotWritable(path);
    if (!refused.empty()) {
        error_ = refused;
        errno = EINVAL;
        return false;
    }
    // Through a link the file it names is replaced, not the link.
    target_ = path;
    char resolved[PATH_MAX];
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(path.c_str(), resolved) != nullptr)
        target_ = resolved;
    const size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    temp_ = folder + "." + name + ".tmp-XXXXXX";
    const int fd = mkostemp(&temp_[0], O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        error_ = std::strerror(e);
        errno = e;
        temp_.clear();
        return false;
    }
    slot_ = TakeSlot(temp_);
    // The new file gets the old one's permissions, or the usual ones for a new file.
    mode_t mode;
    if (stat(target_.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) {}
    file_ = fdopen(fd, "wb");
    if (!file_) {
        const int e = errno;
        close(fd);
        Abort();
        error_ = std::strerror(e);
        errno = e;
        return false;
    }
    return true;
}

bool AtomicFile::Write(const std::string& bytes) {
    if (!file_) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size()) return true;
    if (error_.empty()) error_ = std::strerror(errno ? errno : EIO);
    return false;
}

bool AtomicFile::Commit() {
    if (!file_) {
        if (error_.empty()) error_ = "not open";
        return false;
    }
    errno = 0;
    bool ok = !std::ferror(file_) && std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    int e = errno;
    ok = std::fclose(file_) == 0 && ok;
    if (!e) e = errno;
    file_ = nullptr;
    if (ok && std::rename(temp_.c_str(), target_.c_str()) != 0) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        if (error_.empty()) error_ = std::strerror(e ? e : EIO);
        Abort();
        errno = e ? e : EIO;
        return false;
    }
    FreeSlot(slot_);
    slot_ = -1;
    temp_.clear();
    return true;
}

void AtomicFile::Abort() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) {
        const int e = errno;
        unlink(temp_.c_str());
        errno = e;
    }
    FreeSlot(slot_);
    slot_ = -1;
    temp_.clear();
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* why) {
    AtomicFile f;
    if (f.Open(path) && f.Write(bytes) && f.Commit()) return true;
    const int e = errno;
    if (why) *why = f.Error();
    f.Abort();
    errno = e ? e : EIO;
    return false;
}

int OpenRegularFile(const std::string& path, std::string* why, ReadFault* fault) {
    ReadFault dummy;
    if (!fault) fault = &dummy;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *fault = errno == ENOENT ? READ_MISSING : READ_ERROR;
        *why = std::strerror(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *fault = READ_NOT_REGULAR;
        *why = NotRegularWhy(st.st_mode);
        return -1;
    }
    // Without blocking, in case a FIFO took the file's place since.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *fault = errno == ENOENT ? READ_MISSING : READ_ERROR;
        *why = std::strerror(errno);
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *fault = READ_NOT_REGULAR;
        *why = NotRegularWhy(st.st_mode);
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *fault = READ_OK;
    return fd;
}

ReadFault ReadRegularFile(const std::string& path, size_t limit, std::string* text, std::string* why) {
    ReadFault fault;
    const int fd = OpenRegularFile(path, why, &fault);
    if (fd < 0) return fault;
    struct stat st;
    // The size is checked before anything is read: a huge sparse file costs nothing.
    if (fstat(fd, &st) == 0 && (unsigned long long)st.st_size > limit) {
        close(fd);
        *why = "larger than " + std::to_string(limit) + " bytes";
        return READ_TOO_LARGE;
    }
    fault = ReadToEnd(fd, limit, false, text, why);
    if (fault == READ_TOO_LARGE) *why = "larger than " + std::to_string(limit) + " bytes";
    close(fd);
    return fault;
}

bool ReadWholeFile(const std::string& path, size_t limit, std::string* text, const std::string& tooLarge,
                   const std::string& cannotRead, std::string* error) {
    std::string why;
    switch (ReadRegularFile(path, limit, text, &why)) {
        case READ_OK:
            return true;
        case READ_TOO_LARGE:
            *error = tooLarge;
            return false;
        default:
            *error = cannotRead + why;
            return false;
    }
}

ReadFault ReadToEnd(int fd, size_t limit, bool stopAtNul, std::string* text, std::string* why) {
    text->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *why = std::strerror(errno);
            return READ_ERROR;
        }
        if (n == 0) return READ_OK;
        const char* nul = stopAtNul ? (const char*)std::memchr(buffer, 0, (size_t)n) : nullptr;
        const size_t keep = nul ? (size_t)(nul - buffer) + 1 : (size_t)n;
        if (text->size() + keep > limit) return READ_TOO_LARGE;
        text->append(buffer, keep);
        if (nul) return READ_OK;
    }
}
