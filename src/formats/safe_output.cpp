#include "formats/safe_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

namespace luma {

namespace {

constexpr size_t kOutputBufferSize = 256 * 1024;

std::string ErrorText(const std::string& what, const std::string& fileName, int err) {
    return what + " \"" + fileName + "\". " + std::strerror(err);
}

// Closes a descriptor on every exit path of ReadWholeFile.
struct TFdCloser {
    int fd;
    ~TFdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& fileName) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EFileStreamError(ErrorText("Cannot open file", fileName, errno));
    TFdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw EFileStreamError(ErrorText("Cannot open file", fileName, errno));
    if (S_ISDIR(st.st_mode)) throw EFileStreamError(ErrorText("Cannot open file", fileName, EISDIR));

    std::vector<uint8_t> data;
    if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw EFileStreamError(ErrorText("Cannot read file", fileName, errno));
        }
        if (got == 0) break;
        data.insert(data.end(), chunk, chunk + got);
    }
    return data;
}

TSafeFileOutput::TSafeFileOutput(const std::string& destination) : destination_(destination) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Replace a linked file at its target so that the link itself survives.
    if (fs::is_symlink(destination_, ec)) {
        const fs::path resolved = fs::canonical(destination_, ec);
        if (!ec) destination_ = resolved;
    }
    struct stat st {};
    const bool exists = ::stat(destination_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        throw EFileStreamError(ErrorText("Cannot create file", destination, EISDIR));

    fs::path folder = destination_.parent_path();
    if (folder.empty()) folder = ".";
    static std::atomic<uint32_t> counter{0};
    std::random_device seed;
    const std::string stem = "." + destination_.filename().string() + ".";
    int err = 0;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        const uint32_t tag = seed() ^ (counter.fetch_add(1) * 2654435761u) ^
                             static_cast<uint32_t>(::getpid());
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", tag);
        tempPath_ = folder / (stem + suffix + ".part");
        // Mode 0666 under the umask, as a plainly created file would get.
        fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            err = errno;
            if (err != EEXIST) break;
        }
    }
    if (fd_ < 0) throw EFileStreamError(ErrorText("Cannot create file", destination, err));
    if (exists) (void)::fchmod(fd_, st.st_mode & 07777);
    buffer_.reserve(kOutputBufferSize);
}

TSafeFileOutput::~TSafeFileOutput() {
    if (!committed_) Discard();
}

bool TSafeFileOutput::Flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t put = ::pwrite(fd_, buffer_.data() + done, buffer_.size() - done,
                                     static_cast<off_t>(bufferStart_ + static_cast<int64_t>(done)));
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) return false;
        done += static_cast<size_t>(put);
    }
    bufferStart_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
    return true;
}

size_t TSafeFileOutput::WriteRaw(const void* data, size_t n) {
    if (fd_ < 0) return 0;
    if (pos_ != bufferStart_ + static_cast<int64_t>(buffer_.size())) {
        if (!Flush()) return 0;
        bufferStart_ = pos_;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    buffer_.insert(buffer_.end(), bytes, bytes + n);
    pos_ += static_cast<int64_t>(n);
    if (pos_ > size_) size_ = pos_;
    if (buffer_.size() >= kOutputBufferSize && !Flush()) return 0;
    return n;
}

bool TSafeFileOutput::SeekRaw(int64_t pos) {
    if (fd_ < 0 || pos < 0 || pos > size_) return false;
    if (!Flush()) return false;
    pos_ = pos;
    bufferStart_ = pos;
    return true;
}

bool TSafeFileOutput::Commit() {
    if (committed_ || fd_ < 0) return false;
    if (Failed()) {
        Discard();
        return false;
    }
    const bool flushed = Flush();
    const int flushErr = errno;
    const int closed = ::close(fd_);
    const int closeErr = errno;
    fd_ = -1;
    if (!flushed || closed != 0) {
        Discard();
        throw EFileStreamError(
            ErrorText("Cannot write file", destination_.string(), flushed ? closeErr : flushErr));
    }
    if (::rename(tempPath_.c_str(), destination_.c_str()) != 0) {
        const int err = errno;
        Discard();
        throw EFileStreamError(ErrorText("Cannot replace file", destination_.string(), err));
    }
    committed_ = true;
    return true;
}

void TSafeFileOutput::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

}  // namespace luma
