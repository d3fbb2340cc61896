#include "atomic_output.h"

#include <filesystem>

bool openAtomicOutput(AtomicOutput& output, const std::string& path) {
    output.path = path;
    output.temporaryPath = path + ".partial";
    output.failed = false;
    output.stream = std::fopen(output.temporaryPath.c_str(), "wb");
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
    if (closed && !output.failed) std::filesystem::rename(output.temporaryPath, output.path, error);
    if (!closed || output.failed || error) {
        std::remove(output.temporaryPath.c_str());
        return false;
    }
    return true;
}

void abandonAtomicOutput(AtomicOutput& output) {
    if (output.stream) std::fclose(output.stream);
    output.stream = nullptr;
    std::remove(output.temporaryPath.c_str());
}

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicOutput output;
    if (!openAtomicOutput(output, path)) return false;
    writeAtomicOutput(output, bytes);
    return commitAtomicOutput(output);
}
