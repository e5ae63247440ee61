#include "canfw/bootload.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "base/polling_state.h"
#include "base/settings.h"
#include "base/text_format.h"
#include "canfw/device_table.h"
#include "canfw/log_text.h"

namespace vz {

CBootload::CBootload(const std::atomic<bool>* stopRequest) : stopRequest_(stopRequest) {
    crateSettings().pollingEnabled = false;
}

CBootload::~CBootload() {
    resultStorage_.clear();
    crateSettings().pollingEnabled = true;
}

void CBootload::postLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = formatTextV(kLineLimit, format, args);
    va_end(args);
    postText(text);
}

void CBootload::postText(const std::string& text) {
    postToDialog(kMsgLog, text.data(), std::min<size_t>(text.size(), 1023));
}

void CBootload::postToDialog(int kind, const void* data, size_t size) {
    if (!receiver_) return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    receiver_->post(UpdaterMessage{kind, std::vector<uint8_t>(bytes, bytes + size)});
}

void CBootload::postValue(int kind, uint32_t value) {
    postToDialog(kind, &value, sizeof value);
}

std::string versionText(const VersionRecord& v) {
    if (v.year != 0)
        return formatText(kLineLimit, "%d.%d.%d.%d   Build time: %02d:%02d:%02d %02d.%02d.%02d", v.major,
                          v.minor, v.third, v.fourth, v.hour, v.minute, v.second, v.day, v.month, v.year);
    if (v.major != 0) return formatText(kLineLimit, "%d.%d.%d.%d", v.major, v.minor, v.third, v.fourth);
    return "unknown";
}

std::string proposedBackupName(const std::string& directory, int moduleId, int family, int64_t localWallUs) {
    const std::time_t t = static_cast<std::time_t>(localWallUs / 1000000);
    std::tm tm{};
    gmtime_r(&t, &tm);  // the clock's wall time already has the local zone applied
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    return formatText(kLineLimit, "%s%06d_%s_%s.bex", directory.c_str(), moduleId, familyName(family), stamp);
}

}  // namespace vz
