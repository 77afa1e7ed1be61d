// Feature: an open looping or bracketing tag (import, POP3, ZtCALL,
// commerce, SMTP, lockfile, capture) on the machine's feature stack.
//
// The instruction that opens the tag pushes a feature recording the frame
// that was current. The tag's loop and stop instructions use the innermost
// feature of their kind; a stop removes that feature and every feature
// pushed after it. When a function returns, the features its frame left
// open are destroyed, innermost first, so destructors close what the
// block held (a lock, a captured output, a connection).
#ifndef ORIN_VM_FEATURE_H_
#define ORIN_VM_FEATURE_H_

#include <cstdint>
#include <memory>
#include <vector>

namespace orin {

class ZetoVM_Frame;

enum class FeatureKind : int32_t {
  kImport = 0,
  kPop3 = 1,
  kCall = 2,
  kCommerce = 3,
  kLockfile = 4,
  kCapture = 5,
  kSmtp = 6,
};

class Feature {
 public:
  Feature(FeatureKind kind, ZetoVM_Frame* frame) : kind_(kind), frame_(frame) {}
  virtual ~Feature() = default;
  Feature(const Feature&) = delete;
  Feature& operator=(const Feature&) = delete;

  FeatureKind kind() const { return kind_; }
  // The frame that was current when the tag opened.
  ZetoVM_Frame* frame() const { return frame_; }
  // An asynchronous task signalled the run (the root machine tells every
  // open feature; a feature waiting for a task wakes up).
  virtual void Signal() {}

 private:
  FeatureKind kind_;
  ZetoVM_Frame* frame_;
};

// The machine's stack of open features.
class FeatureStack {
 public:
  FeatureStack() = default;
  // Destroys the features, innermost first.
  ~FeatureStack() { Truncate(0); }
  FeatureStack(const FeatureStack&) = delete;
  FeatureStack& operator=(const FeatureStack&) = delete;

  void Push(std::unique_ptr<Feature> feature) { features_.push_back(std::move(feature)); }
  // The innermost feature of `kind`, skipping others; null when none.
  Feature* Innermost(FeatureKind kind) const;
  // Removes `feature` and everything pushed after it, destroying them
  // innermost first. False when it is not on the stack.
  bool Stop(Feature* feature);
  // Destroys the features on top of the stack that belong to `frame`.
  void EndFrame(const ZetoVM_Frame* frame);
  // Destroys every feature above the first `count`.
  void Truncate(size_t count);
  size_t size() const { return features_.size(); }
  Feature* At(size_t index) const { return features_[index].get(); }

 private:
  std::vector<std::unique_ptr<Feature>> features_;
};

}  // namespace orin

#endif  // ORIN_VM_FEATURE_H_
