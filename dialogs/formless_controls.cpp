#include "dialogs/formless_controls.h"

namespace vz {

std::optional<std::string> FormlessControls::text(int id) const {
    if (!ids_.count(id)) return std::nullopt;
    const auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
}

void FormlessControls::setText(int id, const std::string& text) {
    if (!ids_.count(id)) return;
    texts_[id] = text;
    shown_[id] = text;
}

void FormlessControls::type(int id, const std::string& text) {
    if (ids_.count(id)) texts_[id] = text;
}

bool FormlessControls::edited(int id) const {
    const auto shown = shown_.find(id);
    return shown == shown_.end() || text(id) != shown->second;
}

void FormlessControls::appendText(int id, const std::string& text) {
    if (!ids_.count(id)) return;
    texts_[id] += text;
    shown_[id] = texts_[id];
}

CheckState FormlessControls::checkState(int id) const {
    const auto it = checks_.find(id);
    return it == checks_.end() ? CheckState::unchecked : it->second;
}

void FormlessControls::setCheckState(int id, CheckState state) {
    if (ids_.count(id)) checks_[id] = state;
}

bool FormlessControls::setVisible(int id, bool visible) {
    const bool was = !hidden_.count(id);
    if (visible)
        hidden_.erase(id);
    else if (ids_.count(id))
        hidden_.insert(id);
    return was;
}

}  // namespace vz
