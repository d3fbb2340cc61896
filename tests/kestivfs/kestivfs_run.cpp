#include "kestivfs_run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

ProcessResult kestivfs(const std::vector<std::string>& args) {
    return runProcess(KESTIVFS_PROGRAM, args, "");
}

ScratchFolder::ScratchFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/kestivfs-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

void writeBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

bool temporaryLeftBeside(const std::string& path) {
    const std::filesystem::path image(path);
    const std::string prefix = image.filename().string() + ".partial";
    for (const auto& entry : std::filesystem::directory_iterator(image.parent_path()))
        if (entry.path().filename().string().starts_with(prefix)) return true;
    return false;
}
