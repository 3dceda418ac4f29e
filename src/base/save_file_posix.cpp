#include "base/save_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FILE* create_beside(const char* path, char* temp_path, size_t temp_capacity) {
    std::string_view target(path);
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string_view::npos ? "." : std::string(target.substr(0, slash));
    std::string name(slash == std::string_view::npos ? target : target.substr(slash + 1));
    std::string temp = dir + "/." + name + ".XXXXXX";
    if (temp.size() >= temp_capacity) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    memcpy(temp_path, temp.c_str(), temp.size() + 1);
    int fd = mkstemp(temp_path);
    if (fd < 0) return nullptr;
    // The new file gets the mode of the one it replaces, or that of a file
    // made as usual; mkstemp's own is for the owner only.
    struct stat old {};
    mode_t mode;
    if (stat(path, &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        int error = errno;
        close(fd);
        unlink(temp_path);
        errno = error;
    }
    return file;
}

int flush_and_close(FILE* file) {
    bool ok = fflush(file) == 0 && fsync(fileno(file)) == 0;
    int error = errno;
    if (fclose(file) != 0) return -1;
    errno = error;
    return ok ? 0 : -1;
}

bool replace(const char* temp_path, const char* path) {
    return rename(temp_path, path) == 0;
}

size_t write(const void* data, size_t size, FILE* file) {
    return fwrite(data, 1, size, file);
}

} // namespace

const WholeFileOps platform_whole_file_ops{create_beside, write, flush_and_close, replace, unlink};
const char* const native_line_end = "\n";
