#include "vm/capture.h"

#include "vm/zeto_application.h"

namespace orin {

Capture::Capture(ZetoApplication* application, ZetoVM_Frame* frame, Variable* target)
    : Feature(FeatureKind::kCapture, frame),
      application_(application),
      output_(application->GetOutput()),
      target_(VarRef::Share(target)) {}

Capture::~Capture() {
  if (active_) application_->SetOutput(previous_);
}

void Capture::Begin() {
  previous_ = application_->SetOutput(&output_);
  active_ = true;
}

void Capture::End() {
  if (!active_) return;
  int32_t length = 0;
  const char* bytes = output_.Contents(&length);
  target_->SetValue(bytes, length);
  application_->SetOutput(previous_);
  active_ = false;
}

}  // namespace orin
