#include "configfile/config_read_options.h"

#include "base/controller_type.h"
#include "base/settings.h"
#include "channel/channel_table.h"

namespace vz {

ReadDialogControls readDialogControls(int type, uint32_t flags) {
    const bool expert = (flags & kExpertView) != 0;
    const bool wdx = type == kWdx;
    const bool wdxFileOption = wdx && (flags & kFileReadOptionsWdx) != 0;
    ReadDialogControls c;
    c.wdxFixed = wdx && !expert && !wdxFileOption;
    c.outputUser = !c.wdxFixed;
    c.channels = !c.wdxFixed;
    c.outputConfig = expert || wdxFileOption;
    c.outputCalib = expert;
    c.sysConfig = expert;
    return c;
}

void applyReadDialogControls(const ReadDialogControls& controls, ConfigReadOptions& options) {
    if (!controls.wdxFixed) return;
    options.outputUser = true;
    options.outputConfig = true;
    options.outputCalib = false;
    options.fileChannel = 0;
    options.targets = preselectedTargets();
}

std::vector<std::string> fileChannelChoices(int channelLimit) {
    std::vector<std::string> choices{"MATCHING"};
    const int count = channelLimit == 12 ? 12 : 16;
    for (int i = 0; i < count; ++i) choices.push_back(std::to_string(i));
    return choices;
}

std::vector<int> preselectedTargets() {
    std::vector<int> targets;
    for (int i = 0; i < crateSettings().typeChannelLimit && i < kChannelCount; ++i) {
        const QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(i)];
        if (q.present() && q.configurable()) targets.push_back(i);
    }
    return targets;
}

}  // namespace vz
