// Systems without a window system: no dialog can be created.
#include "platform/Platform.h"
#include "platform/DialogSurface.h"

namespace tarvo {
namespace {

class PosixDialogRunner final : public DialogRunner {
 public:
  DialogOutcome Run(DialogTemplate, void*, void*, DialogController&) override {
    return {false, 0, kErrorNotSupported};
  }
};

}  // namespace

DialogRunner& SystemDialogRunner() {
  static PosixDialogRunner runner;
  return runner;
}

}  // namespace tarvo
