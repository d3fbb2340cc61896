#include "atomic_output.h"

#include <filesystem>
#include <random>

namespace {

// A folder of our own beside path. Its name cannot be guessed, and creating a
// folder fails rather than following whatever someone placed at the name, so
// nobody can redirect the temporary file (as with a link planted in /tmp).
std::string createPrivateFolderBeside(const std::string& path) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string folder =
            path + ".partial-" + std::to_string(random()) + std::to_string(random());
        std::error_code error;
        if (std::filesystem::create_directory(folder, error)) {
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
            return folder;
        }
        if (error) return "";
    }
    return "";
}

void removeTemporaryFolder(AtomicOutput& output) {
    std::error_code error;
    if (!output.temporaryFolder.empty()) std::filesystem::remove_all(output.temporaryFolder, error);
}

}  // namespace

bool openAtomicOutput(AtomicOutput& output, const std::string& path) {
    output.path = path;
    output.failed = false;
    output.temporaryFolder.clear();
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    // Replacing /dev/null or a pipe with a file would break what else uses it.
    if (std::filesystem::is_character_file(status) || std::filesystem::is_fifo(status)) {
        output.temporaryPath = path;
        output.stream = std::fopen(path.c_str(), "wb");
        return output.stream != nullptr;
    }
    output.temporaryFolder = createPrivateFolderBeside(path);
    if (output.temporaryFolder.empty()) return false;
    output.temporaryPath = output.temporaryFolder + "/image";
    output.stream = std::fopen(output.temporaryPath.c_str(), "wb");
    if (!output.stream) removeTemporaryFolder(output);
    return output.stream != nullptr;
}

void writeAtomicOutput(AtomicOutput& output, std::string_view bytes) {
    if (!output.failed && std::fwrite(bytes.data(), 1, bytes.size(), output.stream) != bytes.size())
        output.failed = true;
}

bool commitAtomicOutput(AtomicOutput& output) {
    const bool closed = std::fclose(output.stream) == 0;
    output.stream = nullptr;
    std::error_code error;
    if (closed && !output.failed && !output.temporaryFolder.empty())
        std::filesystem::rename(output.temporaryPath, output.path, error);
    removeTemporaryFolder(output);
    return closed && !output.failed && !error;
}

void abandonAtomicOutput(AtomicOutput& output) {
    if (output.stream) std::fclose(output.stream);
    output.stream = nullptr;
    removeTemporaryFolder(output);
}

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicOutput output;
    if (!openAtomicOutput(output, path)) return false;
    writeAtomicOutput(output, bytes);
    return commitAtomicOutput(output);
}
