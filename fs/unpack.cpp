#include "unpack.h"

#include "image/fs_raw.h"
#include "image_reader.h"
#include "terminal/presentation.h"
#include "unpack_memory.h"

file* root = nullptr;
file* cwd = nullptr;

void unpackFileSystem() {
    prepareUnpackingMemory(FS_raw, FS_raw_len);
    const ImageReadResult image = readImage(FS_raw, FS_raw_len);
    finishUnpackingMemory();
    switch (image.status) {
    case ImageStatus::ok: break;
    case ImageStatus::unsupportedVersion:
        // Red stays in force: the crash message follows on the same line.
        setConsoleTextAttribute(hConsole, FOREGROUND_RED);
        writeText("Unsupported version of kestivFS");
        somethingWrong();
    case ImageStatus::badMagic:
    case ImageStatus::truncated: somethingWrong();
    }
    root = image.root;
    cwd = root;
}
