// The COFF reader and the flash image import on any bytes: every section name, every loadable
// section read whole, then the import as the firmware dialog runs it. No read past the file, no
// allocation the file cannot justify.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ctrlfw/flash_image.h"
#include "prg/coff_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<vzprg::CoffFile> coff;
    if (vzprg::coffOpenMemory(data, size, nullptr, coff) == vzprg::kCoffOk) {
        std::vector<uint8_t> buffer(coff->largestLoadableBytes() + 10);
        for (int i = 1; i <= coff->sectionCount(); ++i) {
            char name[33];
            vzprg::coffSectionName(*coff, *coff->section(i), sizeof name, name);
            if (vzprg::coffIsLoadable(*coff, i) != vzprg::kCoffOk) continue;
            uint64_t got = 0;
            vzprg::coffReadSection(*coff, i, buffer.data(), 0, buffer.size(), got);
        }
    }
    vzprg::coffClose(coff);

    static const std::string path = "/tmp/vz-fuzz-coff-" + std::to_string(getpid()) + ".out";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        vz::FlashImage image;
        if (image.importCoff(path.c_str()) == 0) image.insertChecksum(0);
        std::remove(path.c_str());
    }
    return 0;
}
