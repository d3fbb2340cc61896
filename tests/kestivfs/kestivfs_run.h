// Running kestivfs as a process, and the scratch folders its tests work in.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run_process.h"

ProcessResult kestivfs(const std::vector<std::string>& args);

// A fresh folder, removed with everything in it at the end of the scope.
struct ScratchFolder {
    std::string path;
    ScratchFolder();
    ~ScratchFolder();
    std::string operator/(std::string_view name) const { return path + "/" + std::string(name); }
};

void writeBytes(const std::string& path, std::string_view bytes);
std::string readBytes(const std::string& path);
bool exists(const std::string& path);
// Whether a temporary file or folder of an image written to path is left beside it.
bool temporaryLeftBeside(const std::string& path);
