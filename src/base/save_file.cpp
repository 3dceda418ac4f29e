#include "base/save_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
const WholeFileOps* ops = &platform_whole_file_ops;

int failure() {
    return errno != 0 ? errno : EIO;
}

} // namespace

void set_whole_file_ops(const WholeFileOps* replacement) {
    ops = replacement != nullptr ? replacement : &platform_whole_file_ops;
}

namespace {

// The steps themselves say why they fail in errno only.
int write_steps(const char* path, std::string_view data) {
    char temp[1024];
    errno = 0;
    FILE* file = ops->create_beside(path, temp, sizeof temp);
    if (file == nullptr) return failure();
    errno = 0;
    bool written = ops->write(data.data(), data.size(), file) == data.size();
    int error = written ? 0 : failure();
    errno = 0;
    if (ops->close(file) != 0 && error == 0) error = failure();
    errno = 0;
    if (error == 0 && !ops->replace(temp, path)) error = failure();
    if (error != 0) ops->remove(temp);
    return error;
}

} // namespace

bool write_whole_file(const char* path, std::string_view data, char* why, size_t why_size) {
    int error = write_steps(path, data);
    if (error == 0) return true;
    snprintf(why, why_size, "%s", strerror(error));
    return false;
}
