// The open-file dialog shared by the ".." buttons and the logo upload.
#pragma once

inline constexpr int chosen_path_size = 512;

// pattern is "*." and an extension ("*.txt", "*.*"). Returns the chosen path
// (valid until the next call) or nullptr when the operator cancels.
const char* pick_file_to_open(const char* pattern, const char* title);
