// Writes every fixture image into the directory given as the only argument.
#include <cstdio>
#include <string>

#include "fixture_tree.h"
#include "image/image_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_fixture_images DIRECTORY\n", stderr);
        return 2;
    }
    for (const auto& [name, image] : fixtureImages()) {
        const std::string path = std::string(argv[1]) + "/" + name + ".img";
        if (!writeFileAtomically(path, image)) {
            std::fprintf(stderr, "make_fixture_images: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
