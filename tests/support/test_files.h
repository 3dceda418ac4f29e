// Files that a test writes for the console to read, in a folder of the
// process's own that is removed when the process ends; and reading a file.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline const std::string& test_files_dir() {
    static struct Dir {
        char path[32] = "/tmp/varnoke-files-XXXXXX";
        std::string made = mkdtemp(path) != nullptr ? path : "/nonexistent";
        ~Dir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } dir;
    return dir.made;
}

inline std::string write_test_file(const std::string& name, const std::string& content) {
    std::string path = test_files_dir() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
