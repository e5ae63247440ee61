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

CBootload::CBootload() {
    crateSettings().pollingEnabled = false;
}

CBootload::~CBootload() {
    stopThread(true);
    jobStorage_.clear();
    resultStorage_.clear();
    crateSettings().pollingEnabled = true;
}

int CBootload::startWorker(UpdaterReceiver& window) {
    window_ = &window;
    jobQueue_ = &jobStorage_;
    startThread();
    resultStorage_.clear();
    return -1;
}

bool CBootload::stopWorker() {
    stopThread(false);
    return true;
}

void CBootload::closeUpdater() {
    stopThread(true);
    jobStorage_.clear();
    resultStorage_.clear();
}

bool CBootload::appendJob(BootloadJob job) {
    if (job.path.size() > 259) job.path.resize(259);
    return jobStorage_.appendItem(std::make_unique<BootloadJob>(std::move(job)));
}

void CBootload::queueIdentifyAll() {
    int count = (crateSettings().fCmdLine & kSearchAll) ? 127 : crateSettings().typeChannelLimit;
    count = std::min(count, static_cast<int>(crateSettings().searchLimit));
    count = std::max(count, 14);
    for (int i = 0; i < count; ++i)
        appendJob({kJobIdentify, 0, false, false, false, false, moduleOnly(i), {}});
}

void CBootload::queueIdentify(int moduleId) {
    appendJob({kJobIdentify, 0, false, false, false, false, moduleOnly(moduleId), {}});
}

void CBootload::queueReadVersion(int moduleId, bool application) {
    appendJob({application ? kJobAppVersion : kJobBootVersion,
               0,
               false,
               false,
               false,
               false,
               moduleOnly(moduleId),
               {}});
}

void CBootload::queueReadRunningType(int moduleId) {
    appendJob({kJobRunningType, 0, false, false, false, false, moduleOnly(moduleId), {}});
}

bool CBootload::queueStartFirmware(int moduleId, bool bootLoader) {
    return appendJob({bootLoader ? kJobStartBootLoader : kJobStartApplication,
                      0,
                      false,
                      false,
                      false,
                      false,
                      moduleOnly(moduleId),
                      {}});
}

bool CBootload::queueProgram(const DeviceInfo& device, int memoryType, const std::string& path,
                             bool bootloaderFile, bool overrideProtection, bool checksOff, bool restore) {
    if (memoryType == kProgramMemory)
        return appendJob(
            {kJobProgramFlash, 0, bootloaderFile, overrideProtection, checksOff, restore, device, path});
    return appendJob({kJobProgramEeprom, 0, false, false, false, restore, device, path});
}

bool CBootload::queueBackup(const DeviceInfo& device, const std::string& path) {
    return appendJob({kJobBackup, 0, false, false, false, false, device, path});
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
    if (!window_) return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    window_->post(UpdaterMessage{kind, std::vector<uint8_t>(bytes, bytes + size)});
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
