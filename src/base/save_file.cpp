#include "base/save_file.h"

#include <cerrno>

namespace {
const WholeFileOps* ops = &platform_whole_file_ops;

int failure() {
    return errno != 0 ? errno : EIO;
}
} // namespace

void set_whole_file_ops(const WholeFileOps* replacement) {
    ops = replacement != nullptr ? replacement : &platform_whole_file_ops;
}

int write_whole_file(const char* path, std::string_view data) {
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
