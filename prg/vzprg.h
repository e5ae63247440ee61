/* The flash programming driver for the crate controller's TMS320 F2811/F2812: a C interface of a
 * shared library (libvzprg.so). The program uses it through the interface record; other tools can
 * link it directly.
 *
 * Typical use: PRG_Init, PRG_SetSerialPort (or PRG_OpenSerialDevice), PRG_SetOptions,
 * PRG_SetMessageCallBack, PRG_Open, then reads, writes and verifies, each returning its status, and
 * PRG_Close. Not re-entrant: call it from one thread; PRG_Close may come from another thread and makes
 * a running transfer stop at its next packet.
 */
#ifndef VZPRG_H
#define VZPRG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Accepted and not examined by any entry point. */
typedef void* PRG_HANDLE;

/* The status word: the last operation succeeded, failed, or is still running. */
enum { PRG_STATUS_OK = 0, PRG_STATUS_FAILED = -1, PRG_STATUS_BUSY = -2 };

/* Message kinds given to the callback. */
enum { PRG_MESSAGE_INSTALLED = 0, PRG_MESSAGE_PROGRESS = 1 };

/* text is valid only during the call. */
typedef void (*PRG_MessageCallBack)(PRG_HANDLE handle, int kind, const char* text);

int PRG_Init(PRG_HANDLE* handle);
/* A comma-separated list of key=value items, at most 1023 characters. */
int PRG_SetOptions(PRG_HANDLE handle, const char* options);
int PRG_Status(PRG_HANDLE handle);
int PRG_Open(PRG_HANDLE handle);
int PRG_Close(PRG_HANDLE handle);
int PRG_SetMessageCallBack(PRG_HANDLE handle, PRG_MessageCallBack callback);
/* Addresses are processor word addresses; data are 16-bit words in host order; byte counts are
 * rounded down to even. */
int PRG_FlashWrite(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data);
int PRG_FlashRead(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, uint16_t* buffer);
int PRG_FlashVerify(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data);
int PRG_MemWrite(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data);
int PRG_MemRead(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, uint16_t* buffer);

/* Erases the flash sectors of the mask (bit 0 sector A ... bit 9 sector J): the processor's status word
 * (0 = erased), -1, or -2 while another operation runs. Not in the record, whose layout is fixed: a
 * caller that uses the record gets this entry point by name (or links it) and passes it along. */
typedef int (*PRG_EraseSectorsFn)(PRG_HANDLE handle, uint32_t sectorMask);
int PRG_EraseSectors(PRG_HANDLE handle, uint32_t sectorMask);

/* The fixed interface record. recordSize, the four ones, targetName, the zero and the sixteen are
 * constants peers compare; the entry points follow in this order. */
typedef struct PrgInterface {
    uint32_t recordSize; /* 76 */
    uint32_t one1, one2, one3, one4;
    const char* targetName; /* "GENERIC" */
    uint32_t zero;
    uint32_t sixteen;
    int (*Init)(PRG_HANDLE* handle);
    int (*SetOptions)(PRG_HANDLE handle, const char* options);
    int (*Status)(PRG_HANDLE handle);
    int (*Open)(PRG_HANDLE handle);
    int (*Close)(PRG_HANDLE handle);
    int (*SetMessageCallBack)(PRG_HANDLE handle, PRG_MessageCallBack callback);
    int (*FlashWrite)(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data);
    int (*FlashRead)(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, uint16_t* buffer);
    int (*FlashVerify)(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data);
    int (*MemWrite)(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data);
    int (*MemRead)(PRG_HANDLE handle, uint32_t address, uint16_t page, uint32_t numBytes, uint16_t* buffer);
} PrgInterface;

/* -1 when record is null, else 0. */
int PrgGetInterface(const PrgInterface** record);

/* The serial line to the processor. The driver owns no device of its own: the host lends it one,
 * either its own bridge (PRG_SetSerialPort) or a POSIX serial device (PRG_OpenSerialDevice). The
 * port outlives PRG_Init and PRG_Close; a new one replaces it.
 *
 * Status results are 0 for success or the bridge's status code (spelled by statusText). */
typedef struct PrgSerialPort {
    void* context;
    /* Writes all bytes or fails. */
    int (*write)(void* context, const void* data, uint32_t count, uint32_t* written);
    /* Returns what arrived, up to count, within a short wait (a few milliseconds); a partial or empty
     * read is a success. */
    int (*read)(void* context, void* buffer, uint32_t count, uint32_t* received);
    /* Drops what is queued in both directions. */
    int (*flush)(void* context);
    /* lineControl: bits 15-8 data bits, 7-4 parity (0 none), 3-0 stop bits (0 one). */
    int (*configure)(void* context, uint32_t baud, uint16_t lineControl);
    /* 1 = held active, 0 = held inactive. */
    int (*setModemLines)(void* context, int rts, int dtr);
    /* Optional (null: the number in hexadecimal). */
    const char* (*statusText)(void* context, int status);
    /* Optional debug log; flags 0x80000000 error, ...01 warning, ...02 info, ...03 debug. */
    void (*log)(void* context, uint32_t flags, const char* text);
    /* Optional clock (null: the system's monotonic clock). */
    void (*sleepMs)(void* context, uint32_t ms);
    uint64_t (*nowMs)(void* context);
} PrgSerialPort;

/* Copies the record; null removes the port. 0, or -1 while an operation runs. */
int PRG_SetSerialPort(PRG_HANDLE handle, const PrgSerialPort* port);
/* Opens a serial device (e.g. /dev/ttyUSB0 of a CP210x with the kernel driver) at 115200 8N1 and uses
 * it as the port. 0, or -1 with a message through the callback. */
int PRG_OpenSerialDevice(PRG_HANDLE handle, const char* path);

#ifdef __cplusplus
}
#endif

#endif /* VZPRG_H */
