#include "imaging/mapped_temp_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

namespace luma {

std::filesystem::path TMappedTempFile::Directory() {
    const char* env = std::getenv("TMPDIR");
    if (env != nullptr && *env != '\0') return std::filesystem::path(env);
    return std::filesystem::path("/tmp");
}

bool TMappedTempFile::Create(uint64_t size) {
    Close();
    if (size == 0 || size > static_cast<uint64_t>(PTRDIFF_MAX)) return false;

    const std::filesystem::path dir = Directory();
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::filesystem::create_directories(dir, ec);
        if (ec) return false;
    }
    std::string pattern = (dir / "lumatmpXXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    // Nobody else needs the name: unlinking now means the file disappears with its last
    // descriptor or mapping, even if the process dies.
    ::unlink(name.data());

    struct stat st {};
    // Reserving the blocks up front turns a full disk into a clean fallback to memory instead
    // of a bus error on the first write through the mapping.
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 || ::fstat(fd, &st) != 0 ||
        static_cast<uint64_t>(st.st_size) != size ||
        ::posix_fallocate(fd, 0, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        return false;
    }
    void* map = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    data_ = static_cast<uint8_t*>(map);
    size_ = size;
    return true;
}

void TMappedTempFile::Close() {
    if (data_ != nullptr) {
        ::munmap(data_, static_cast<size_t>(size_));
        data_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    size_ = 0;
}

}  // namespace luma
