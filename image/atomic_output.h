// An output file that appears at its path only when it is complete: bytes go
// to a temporary file in a fresh folder beside it, renamed into place at the
// end. A path that names a device or a pipe takes the bytes directly.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

struct AtomicOutput {
    std::string path;
    std::string temporaryFolder;  // empty when the bytes go to path directly
    std::string temporaryPath;
    std::FILE* stream = nullptr;
    bool failed = false;
};

// Creates the temporary file (or opens the device or pipe at path); false when
// it cannot.
bool openAtomicOutput(AtomicOutput& output, const std::string& path);

// Appends bytes; a failure is remembered and reported by commitAtomicOutput.
void writeAtomicOutput(AtomicOutput& output, std::string_view bytes);

// Closes the temporary file and renames it to the path; false (path untouched,
// temporary folder removed) when anything failed.
bool commitAtomicOutput(AtomicOutput& output);

// Closes and removes the temporary folder; the path is untouched.
void abandonAtomicOutput(AtomicOutput& output);

// Writes bytes to path the same way in one call; false (path untouched) on failure.
bool writeFileAtomically(const std::string& path, std::string_view bytes);
