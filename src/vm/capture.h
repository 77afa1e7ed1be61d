// Capture: the ZtCAPTURE block. While it is open the application's output
// is a CaptureOutput over the previous sink; at the end the captured bytes
// become the target variable's text and the previous sink is current again.
// Headers and error texts still reach the real response through the
// capture sink's parent.
#ifndef ORIN_VM_CAPTURE_H_
#define ORIN_VM_CAPTURE_H_

#include "output/capture_output.h"
#include "variables/variable.h"
#include "vm/feature.h"

namespace orin {

class ZetoApplication;

class Capture : public Feature {
 public:
  // Holds a reference on `target`.
  Capture(ZetoApplication* application, ZetoVM_Frame* frame, Variable* target);
  // A block left abnormally (error, return, end of run) gives the previous
  // sink back; the captured bytes are dropped.
  ~Capture() override;

  // Makes the capture sink current.
  void Begin();
  // Stores what was captured into the target and restores the sink.
  void End();

 private:
  ZetoApplication* application_;
  CaptureOutput output_;
  VarRef target_;
  Output* previous_ = nullptr;
  bool active_ = false;
};

}  // namespace orin

#endif  // ORIN_VM_CAPTURE_H_
