#include "app/core/command_line.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/debug_log.h"
#include "base/operator_seam.h"
#include "base/settings.h"

namespace vz {

const char* const kUsageCaption = "VIDIzozorez Command Line Options";
const char* const kUsageText =
    "Syntax: VIDIzozorez [options] [COMport] [OptNum]\nPossible options:\n"
    "  -u   Use CAN-Bus for communication\n  -x   Don't conect to QNL\n"
    "  -g3  Get Measurement Data Block 3\n  -e   Show Communication Errors\n  -t   Test mode\n"
    "  -sa  Search ALL modules\n  -sm  Search modules via connection to QNL (slow)\n"
    "  -gm  Get Measurement Data from QNL, not from cache\n  -g1  Don't get Measurement Data Block 1\n"
    "  -g2  Get Measurement Data Block 2\n  -f\tFile Read Options (WDX)\n"
    "  -sN  Search maximal N channels (N: 0 ... 127) channels\n  -as  Special mode for ATLAS Liquid Argon\n"
    "  -af  Show firmware version of modules on main screen\n  -oo  Overwrite System Configuration\n"
    "  -S  Skip SLIP connection (faster access if only firmware update of the controller is intended)\n"
    "  -l logfile\tWrite debug log to file\nCOMport:\tUSB or COM1, COM2, ...\n"
    "OptNum:\tOption number provided by KELDOR.";

namespace {

// The "%i" conversion: decimal, 0x-prefixed hexadecimal or 0-prefixed octal, with optional sign.
// A number that does not fit the 32-bit option word is no OptNum at all: it is reported, not cut.
enum class OptNum { Value, NotANumber, TooLarge };
OptNum parseOptNum(const char* text, uint32_t& value) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 0);
    if (end == text) return OptNum::NotANumber;
    if (errno == ERANGE || v < INT32_MIN || v > static_cast<long long>(UINT32_MAX)) return OptNum::TooLarge;
    value = static_cast<uint32_t>(v);
    return OptNum::Value;
}

// A port name is kept to 99 characters as the USB side takes it; a virtual crate's scenario path is
// a file name and is kept whole, since a path cut short would name another file or none.
void assignPort(const char* text) {
    const size_t length = std::strlen(text);
    crateSettings().portName.assign(
        text, std::strncmp(text, "SIM:", 4) == 0 ? length : std::min<size_t>(length, 99));
}

void parseSearchLimit(const char* digits) {
    unsigned long v = std::strtoul(digits, nullptr, 10);
    crateSettings().searchLimit = v > 127 ? 127u : static_cast<unsigned>(v);
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv) {
    CrateSettings& settings = crateSettings();
    settings.fCmdLine |= kGetBlock1 | kPlainTitle;
    settings.portName = "COM4";
    settings.searchLimit = 127;
    settings.overwriteSystemConfig = false;
    bool result = true;
    if (argc < 2) return true;

    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const char* arg = argv[i];
        const char letter = arg[1];
        const char second = letter ? arg[2] : '\0';
        switch (letter) {
            case 'H':
                settings.fCmdLine &= ~kPlainTitle;
                break;
            case 'S':
                settings.fCmdLine |= kSkipSlip;
                break;
            case 'a':
                if (second == 'c')
                    settings.fCmdLine |= kExpertView;
                else if (second == 'f')
                    settings.fCmdLine |= kShowFirmware;
                else if (second == 's')
                    settings.fCmdLine |= kAtlasMode;
                break;
            case 'c':
                if (arg[2]) assignPort(arg + 2);
                break;
            case 'e':
                settings.fCmdLine |= kShowCommErrors;
                break;
            case 'f':
                settings.fCmdLine |= kFileReadOptionsWdx;
                break;
            case 'g':
                if (second == '1')
                    settings.fCmdLine &= ~kGetBlock1;
                else if (second == '2')
                    settings.fCmdLine |= kGetBlock2;
                else if (second == '3')
                    settings.fCmdLine |= kGetBlock3;
                else if (second == 'm')
                    settings.fCmdLine |= kMeasureFromModules;
                break;
            case 'l':
                if (arg[2]) {
                    debugLogOpenFile(arg + 2);
                } else if (i + 1 < argc) {
                    debugLogOpenFile(argv[++i]);
                }
                break;
            case 'o':
                if (second == 'o') settings.overwriteSystemConfig = true;
                break;
            case 's':
                if (second == 'a')
                    settings.fCmdLine |= kSearchAll;
                else if (second == 'm')
                    settings.fCmdLine |= kSearchModules;
                else if (second >= '0' && second <= '9')
                    parseSearchLimit(arg + 2);
                break;
            case 't':
                settings.fCmdLine |= kTestMode;
                break;
            case 'u':
                settings.fCmdLine |= kUseCan;
                break;
            case 'x':
                settings.fCmdLine |= kConfigFromCache;
                break;
            default:
                result = false;
                break;
        }
    }
    if (i < argc) {
        assignPort(argv[i]);
        if (i + 1 < argc) {
            uint32_t value = 0;
            switch (parseOptNum(argv[i + 1], value)) {
                case OptNum::Value:
                    settings.fCmdLine = value;
                    if (value & kSearchEight) settings.searchLimit = 8;
                    break;
                case OptNum::TooLarge:
                    result = false;  // the usage box
                    break;
                case OptNum::NotANumber:
                    break;
            }
        }
    }
    return result;
}

void printUsage() {
    operatorSeam().messageBox(
        {kUsageCaption, kUsageText, BoxButtons::Ok, BoxIcon::Question, /*ownedByMainWindow=*/false});
}

}  // namespace vz
