#include "recording_operator.h"

#include <stdexcept>
#include <string>

namespace vz::test {

BoxAnswer RecordingOperator::messageBox(const BoxRequest& box) {
    boxes.push_back(box);
    return BoxAnswer::Ok;
}

void RecordingOperator::endProcess(int exitCode) {
    throw std::runtime_error("unexpected end of process, code " + std::to_string(exitCode));
}

}  // namespace vz::test
