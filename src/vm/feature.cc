#include "vm/feature.h"

namespace orin {

Feature* FeatureStack::Innermost(FeatureKind kind) const {
  for (size_t i = features_.size(); i-- > 0;) {
    if (features_[i]->kind() == kind) return features_[i].get();
  }
  return nullptr;
}

bool FeatureStack::Stop(Feature* feature) {
  for (size_t i = features_.size(); i-- > 0;) {
    if (features_[i].get() == feature) {
      Truncate(i);
      return true;
    }
  }
  return false;
}

void FeatureStack::EndFrame(const ZetoVM_Frame* frame) {
  size_t keep = features_.size();
  while (keep > 0 && features_[keep - 1]->frame() == frame)
    --keep;
  Truncate(keep);
}

void FeatureStack::Truncate(size_t count) {
  // One at a time from the top: a destructor may look at the stack.
  while (features_.size() > count) {
    std::unique_ptr<Feature> top = std::move(features_.back());
    features_.pop_back();
    top.reset();
  }
}

}  // namespace orin
