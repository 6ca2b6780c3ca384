#include "util/user_prompt.h"

namespace luma {

TMsgResult DismissResult(TMsgButtons buttons) {
    switch (buttons) {
    case TMsgButtons::OK:
        return TMsgResult::OK;
    case TMsgButtons::YesNo:
        return TMsgResult::No;
    case TMsgButtons::AbortRetryIgnore:
        return TMsgResult::Abort;
    case TMsgButtons::OKCancel:
    case TMsgButtons::YesNoCancel:
    case TMsgButtons::RetryCancel:
        return TMsgResult::Cancel;
    }
    return TMsgResult::Cancel;
}

}  // namespace luma
