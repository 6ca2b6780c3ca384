#pragma once
// TMappedTempFile: an anonymous temporary file mapped into memory as one read-write block.
//
// The file is created with the "lumatmp" prefix in $TMPDIR (else /tmp), unlinked at once so that
// nothing is left behind even after a crash, sized with ftruncate and mapped whole. Any failure
// leaves the object closed and Create() returns false; callers fall back to memory.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace luma {

class TMappedTempFile {
public:
    TMappedTempFile() = default;
    ~TMappedTempFile() { Close(); }
    TMappedTempFile(const TMappedTempFile&) = delete;
    TMappedTempFile& operator=(const TMappedTempFile&) = delete;

    // Creates, sizes and maps a file of `size` bytes (> 0), closing any previous one first.
    bool Create(uint64_t size);
    // Unmaps, closes and so deletes the file.
    void Close();

    bool IsOpen() const { return data_ != nullptr; }
    uint8_t* Data() const { return data_; }
    uint64_t Size() const { return size_; }

    // The folder new files go to: $TMPDIR when set and not empty, else /tmp.
    static std::filesystem::path Directory();

private:
    uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    int fd_ = -1;
};

}  // namespace luma
