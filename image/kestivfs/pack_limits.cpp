#include "pack_limits.h"

std::string nodeLimitProblem(std::uint64_t nameBytes, std::uint64_t contentBytes,
                             std::uint64_t childCount) {
    if (nameBytes > kMaxNameBytes)
        return "its name is " + std::to_string(nameBytes) + " bytes; an image holds at most " +
               std::to_string(kMaxNameBytes);
    if (contentBytes > kMaxStoredBytes)
        return "its content would take " + std::to_string(contentBytes) +
               " bytes; an image holds at most " + std::to_string(kMaxStoredBytes) +
               " (files of 2 GiB or more, or within 16 bytes of it, do not fit)";
    if (childCount > kMaxChildren)
        return "it has " + std::to_string(childCount) + " entries; an image holds at most " +
               std::to_string(kMaxChildren);
    return "";
}

std::string imageLimitProblem(std::uint64_t imageBytes) {
    if (imageBytes <= kMaxImageBytes) return "";
    return "the image would be " + std::to_string(imageBytes) +
           " bytes; a terminal links at most " + std::to_string(kMaxImageBytes);
}
