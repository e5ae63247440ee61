#pragma once
// The headless answers (CANCEL for the problem dialog, the safe choice for every box) without printing:
// a fuzzer shows millions of boxes.
#include "base/operator_seam.h"

namespace vz::fuzz {

class QuietOperator final : public HeadlessOperator {
  public:
    BoxAnswer messageBox(const BoxRequest& box) override {
        switch (box.buttons) {
            case BoxButtons::Ok:
                return BoxAnswer::Ok;
            case BoxButtons::OkCancel:
            case BoxButtons::RetryCancel:
                return BoxAnswer::Cancel;
            case BoxButtons::AbortRetryIgnore:
                return BoxAnswer::Abort;
            case BoxButtons::YesNo:
                return BoxAnswer::No;
        }
        return BoxAnswer::Cancel;
    }
    void commProblemOpen(const std::string&) override {}
};

}  // namespace vz::fuzz
