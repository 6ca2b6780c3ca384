#pragma once
// File access for the I/O object: reading a whole file into memory, and writing a file so that a
// failed write never destroys the file it was meant to replace.
//
// TSafeFileOutput writes into a new temporary file in the destination's folder. Commit() flushes
// it and renames it over the destination (an existing destination's permission bits are kept;
// a new file gets the usual mode under the process umask). Without Commit() - a writer that
// aborted or threw - the destructor removes the temporary file and the destination stays as it
// was. A destination that is a symbolic link is replaced at the link's target, so the link stays.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/byte_io.h"

namespace luma {

// A file could not be opened, created, written or replaced (the message names the file and the
// system's reason).
class EFileStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the whole file; throws EFileStreamError when it cannot be opened or read.
std::vector<uint8_t> ReadWholeFile(const std::string& fileName);

class TSafeFileOutput final : public TOutputStream {
public:
    // Creates the temporary file beside `destination`; throws EFileStreamError on failure.
    explicit TSafeFileOutput(const std::string& destination);
    ~TSafeFileOutput() override;
    TSafeFileOutput(const TSafeFileOutput&) = delete;
    TSafeFileOutput& operator=(const TSafeFileOutput&) = delete;

    // Flushes, closes and renames over the destination; throws EFileStreamError on failure
    // (the temporary file is then removed). Returns false without replacing anything when the
    // stream failed earlier.
    bool Commit();
    // Removes the temporary file now (also done by the destructor when not committed).
    void Discard();

    int64_t Position() const override { return pos_; }
    const std::filesystem::path& TempPath() const { return tempPath_; }

protected:
    size_t WriteRaw(const void* data, size_t n) override;
    bool SeekRaw(int64_t pos) override;

private:
    bool Flush();

    std::filesystem::path destination_;
    std::filesystem::path tempPath_;
    int fd_ = -1;
    std::vector<uint8_t> buffer_;  // bytes not yet written to the file
    int64_t bufferStart_ = 0;      // file offset of buffer_[0]
    int64_t pos_ = 0;              // logical write position
    int64_t size_ = 0;             // logical file size
    bool committed_ = false;
};

}  // namespace luma
