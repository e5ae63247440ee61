// Writes the demo COFF files for the virtual crate into a folder:
//   make_coff_examples <folder>
// Their contents are pseudo code: the virtual crate checks the boot stream and the flash commands, it
// never runs what it receives.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/coff_writer.h"

namespace {

std::vector<uint16_t> pseudoCode(size_t words, uint32_t seed) {
    std::vector<uint16_t> out(words);
    for (auto& w : out) {
        seed = seed * 1103515245u + 12345u;
        w = static_cast<uint16_t>(seed >> 16);
        if (w == 0xFFFF) w = 0x7625;  // keep the demo free of blank-looking words
    }
    return out;
}

bool accessFirmware(const std::string& path, uint32_t seed) {
    vztest::CoffWriterOptions o;
    o.entryPoint = 0x008000;
    return vztest::writeCoffFile(path, o,
                                 {{".text", 0x008000, pseudoCode(384, seed), 0x20, 0, true},
                                  {".econst", 0x008800, pseudoCode(24, seed + 1), 0x40, 0, true},
                                  {".ebss", 0x009000, std::vector<uint16_t>(64), 0x80, 0, false},
                                  // Marks the file as a stand-in: the program never sends it to a real
                                  // controller. Not loaded (0x02), so the boot stream is unchanged.
                                  {".virtual_crate_only", 0, {0x5456}, 0x02, 0, true}});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_coff_examples <folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = accessFirmware(dir + "/F2812SerialFlash.out", 2812) &&
              accessFirmware(dir + "/F2811SerialFlash.out", 2811);

    vztest::CoffWriterOptions fw;
    fw.entryPoint = 0x3D8000;
    ok = ok && vztest::writeCoffFile(
                   dir + "/demo-firmware-3.10.out", fw,
                   {{".text", 0x3D8000, pseudoCode(3000, 310), 0x20, 0, true},
                    {".econst", 0x3E0000, pseudoCode(400, 311), 0x40, 0, true},
                    {".cinit", 0x3E8000, pseudoCode(40, 312), 0x40, 0, true},
                    {".ebss", 0x008000, std::vector<uint16_t>(256), 0x80, 0, false},
                    {".fwversion", 0x3F3FF5, vztest::versionWords("VELK-FW 3.10    "), 0x40, 0, true}});

    vztest::CoffWriterOptions bl;
    bl.entryPoint = 0x3F6000;
    ok = ok && vztest::writeCoffFile(
                   dir + "/demo-bootloader-2.05.out", bl,
                   {{".text", 0x3F6000, pseudoCode(1200, 205), 0x20, 0, true},
                    {".econst", 0x3F4000, pseudoCode(200, 206), 0x40, 0, true},
                    {".blversion", 0x3F7F77, vztest::versionWords("VELK-BL 2.05    "), 0x40, 0, true}});
    if (!ok) {
        std::fprintf(stderr, "make_coff_examples: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
