// Writing a file whole or not at all: the text goes into a new file beside
// the target, which replaces the target only once all of it is on the disk.
// A failure at any step removes the new file and leaves the target as it was.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

// The platform's steps. Tests install their own to make one of them fail as
// a full disk would. Each sets errno when it fails.
struct WholeFileOps {
    // Creates and opens for writing a new file in the folder of path, with a
    // name of its own (written to temp_path); nullptr on failure.
    FILE* (*create_beside)(const char* path, char* temp_path, size_t temp_capacity);
    size_t (*write)(const void* data, size_t size, FILE* file);
    // Flushes to the disk and closes; 0 on success.
    int (*close)(FILE* file);
    // Puts the file at temp_path in the place of path, replacing a file that
    // is there; false on failure.
    bool (*replace)(const char* temp_path, const char* path);
    int (*remove)(const char* path);
};
extern const WholeFileOps platform_whole_file_ops;
void set_whole_file_ops(const WholeFileOps* ops); // nullptr: the platform's

// The line end of the platform's text files: "\n" or "\r\n".
extern const char* const native_line_end;

// True when the file is written whole. On failure, why holds the system's
// reason for the step that failed ("No space left on device"), terminated
// and cut to why_size - 1.
bool write_whole_file(const char* path, std::string_view data, char* why, size_t why_size);
