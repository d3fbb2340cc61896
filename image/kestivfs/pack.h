// Images of real folders: directories become kind 0, regular files kind 1
// (README.txt as it is, every other file in the stored form), children in
// byte order of their names, so a folder always gives the same image.
#pragma once

#include <filesystem>
#include <string>

struct PackOptions {
    bool followSymlinks = false;   // pack what a link leads to instead of refusing it
    bool skipSpecial = false;      // leave out links (unless followed), fifos, sockets, devices
    bool showProgress = false;     // a progress line on stderr once packing takes a while
    bool allowUntypeable = false;  // pack names a player cannot type, with a warning for each
};

// Writes the image of folder (its root named "/") to output, streaming it
// through a temporary file. Each problem is on stderr with the path it concerns;
// on failure output is left as it was. Nothing recurses on the folder's depth.
// Names a player cannot type (typeable_name.h) are each named and refused
// unless allowed; an empty folder and one without README.txt are warned of.
bool packFolder(const std::filesystem::path& folder, const std::string& output,
                const PackOptions& options);
