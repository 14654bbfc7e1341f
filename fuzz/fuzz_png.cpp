// Fuzz target for the picture reader. The pictures in data/ are the program's own, but a user can
// replace them, and a damaged file there must give "no picture", never a crash or a huge allocation.
//
// The first four bytes choose how the picture is cut into frames (cell width and height, first
// cell, count), as the image set does; the rest is the file. The reader works on files, so every
// input is written to one scratch file first. Checked beyond "no crash, no hang, no leak": when the
// size probe and the full load both succeed they agree, and every frame has exactly the pixels its
// size promises.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/render/Image.h"

namespace {

std::string scratch;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dir = std::getenv("TMPDIR");
    scratch = std::string(dir && *dir ? dir : "/tmp") + "/gw-fuzz-png-" + std::to_string(getpid()) + ".png";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const int cw = data[0] % 65, ch = data[1] % 65, first = data[2] % 8, count = 1 + data[3] % 16;
    FILE* f = std::fopen(scratch.c_str(), "wb");
    if (!f) std::abort();
    if (size > 4 && std::fwrite(data + 4, 1, size - 4, f) != size - 4) std::abort();
    std::fclose(f);

    int pw = -1, ph = -1;
    const bool probed = gw::Image::probeSize(scratch, pw, ph);
    if (probed && (pw <= 0 || ph <= 0)) std::abort();

    // Whole picture as one frame: its size is the probed size.
    if (auto whole = gw::Image::load(scratch)) {
        if (!probed || whole->frameWidth() != pw || whole->frameHeight() != ph || whole->frameCount() != 1)
            std::abort();
        if (whole->framePixels(0).size() != static_cast<std::size_t>(pw) * ph * 4) std::abort();
    }

    if (auto cut = gw::Image::load(scratch, cw, ch, first, count)) {
        const std::size_t want = static_cast<std::size_t>(cut->frameWidth()) * cut->frameHeight() * 4;
        for (int i = 0; i < cut->frameCount(); ++i)
            if (cut->framePixels(i).size() != want) std::abort();
        if (!cut->framePixels(cut->frameCount()).empty() || !cut->framePixels(-1).empty()) std::abort();
    }
    return 0;
}
