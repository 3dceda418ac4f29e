#include "base/save_file.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <io.h>
#include <string>

namespace {

void set_errno_from_last_error() {
    DWORD error = GetLastError();
    errno = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
            : error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL    ? ENOSPC
            : error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ? ENOENT
                                                                             : EIO;
}

FILE* create_beside(const char* path, char* temp_path, size_t temp_capacity) {
    std::string_view target(path);
    size_t slash = target.find_last_of("\\/");
    std::string dir =
        slash == std::string_view::npos ? "." : std::string(target.substr(0, slash + 1));
    if (temp_capacity < MAX_PATH) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    // Makes the file, under a name no other file in the folder has.
    if (GetTempFileNameA(dir.c_str(), "vlg", 0, temp_path) == 0) {
        set_errno_from_last_error();
        return nullptr;
    }
    FILE* file = fopen(temp_path, "wb");
    if (file == nullptr) {
        int error = errno;
        DeleteFileA(temp_path);
        errno = error;
    }
    return file;
}

int flush_and_close(FILE* file) {
    bool ok = fflush(file) == 0 && _commit(_fileno(file)) == 0;
    int error = errno;
    if (fclose(file) != 0) return -1;
    errno = error;
    return ok ? 0 : -1;
}

bool replace(const char* temp_path, const char* path) {
    if (MoveFileExA(temp_path, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    set_errno_from_last_error();
    return false;
}

size_t write(const void* data, size_t size, FILE* file) {
    return fwrite(data, 1, size, file);
}

int remove_file(const char* path) {
    return DeleteFileA(path) ? 0 : -1;
}

} // namespace

const WholeFileOps platform_whole_file_ops{create_beside, write, flush_and_close, replace,
                                           remove_file};
const char* const native_line_end = "\r\n";
