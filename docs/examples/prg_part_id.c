/* SPDX-License-Identifier: MIT
 *
 * Reads the part id and revision of a TMS320 F281x through libvzprg.so: loads the access firmware
 * into the processor's RAM over its serial boot loader and reads two words at 0x882.
 *
 *   prg_part_id /dev/ttyUSB0 F2812SerialFlash.out
 *
 * Exit status 0 when the words were read, 1 otherwise. */
#include <stdio.h>

#include "vzprg.h"

static void printMessage(PRG_HANDLE handle, int kind, const char* text) {
    (void)handle;
    (void)kind;
    fputs(text, stdout);
    fflush(stdout);
}

int main(int argc, char** argv) {
    const PrgInterface* prg = NULL;
    PRG_HANDLE handle = NULL;
    char options[1024];
    uint16_t words[2] = {0, 0};
    int status;

    if (argc != 3) {
        fprintf(stderr, "usage: %s <serial device> <access firmware .out>\n", argv[0]);
        return 1;
    }
    if (PrgGetInterface(&prg) != 0 || prg->Init(&handle) != 0) return 1;
    if (PRG_OpenSerialDevice(handle, argv[1]) != 0) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    if (snprintf(options, sizeof options, "PrgBootLoadFileName=%s,PrgSkipBootLoad=NO", argv[2]) >= (int)sizeof options) {
        fprintf(stderr, "file name too long\n");
        return 1;
    }
    prg->SetOptions(handle, options);
    prg->SetMessageCallBack(handle, printMessage);
    if (prg->Open(handle) != 0) {
        prg->Close(handle);
        return 1;
    }
    status = prg->MemRead(handle, 0x882, 0, 4, words);
    if (status == 0) printf("part id 0x%04X revision 0x%04X\n", words[0], words[1]);
    prg->Close(handle);
    return status == 0 ? 0 : 1;
}
