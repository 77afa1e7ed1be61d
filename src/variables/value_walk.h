// WalkValue: a depth-first walk over a value and every aggregate nested in
// it, in key order, with an explicit stack instead of recursion.
//
// References are followed to their targets. An aggregate met again while it
// is still open on the path (a value containing itself through a reference
// or a shared element) is reported as a cycle and not entered.
//
// The visitor provides:
//   void Enter(Variable* aggregate, const AggregateElement* element, AggregateElementTree*);
//   void Leave(Variable* aggregate);
//   void Scalar(Variable* scalar, const AggregateElement* element);
//   void Cycle(Variable* aggregate, const AggregateElement* element);
// `element` is null for the root; the variables are resolved identities.
// The visitor must not change the trees being walked.
#ifndef ORIN_VARIABLES_VALUE_WALK_H_
#define ORIN_VARIABLES_VALUE_WALK_H_

#include <vector>

#include "variables/variable.h"

namespace orin {

template <typename Visitor>
void WalkValue(Variable* root, Visitor& visitor) {
  root = root->RealIdentity();
  AggregateElementTree* tree = root->ElementTree();
  if (tree == nullptr) {
    visitor.Scalar(root, nullptr);
    return;
  }
  struct Frame {
    Variable* variable;
    AggregateElementTree* tree;
    AggregateElement* next;
  };
  std::vector<Frame> path;
  try {
    visitor.Enter(root, nullptr, tree);
    root->on_path_ = true;
    path.push_back({root, tree, tree->First()});
    while (!path.empty()) {
      Frame& top = path.back();
      AggregateElement* element = top.next;
      if (element == nullptr) {
        Variable* done = top.variable;
        done->on_path_ = false;
        path.pop_back();
        visitor.Leave(done);
        continue;
      }
      top.next = top.tree->Next(element->Key());
      Variable* v = element->GetVariable();
      if (v == nullptr) continue;
      v = v->RealIdentity();
      AggregateElementTree* inner = v->ElementTree();
      if (inner == nullptr) {
        visitor.Scalar(v, element);
      } else if (v->on_path_) {
        visitor.Cycle(v, element);
      } else {
        visitor.Enter(v, element, inner);
        v->on_path_ = true;
        path.push_back({v, inner, inner->First()});
      }
    }
  } catch (...) {
    for (Frame& f : path)
      f.variable->on_path_ = false;
    throw;
  }
}

}  // namespace orin

#endif  // ORIN_VARIABLES_VALUE_WALK_H_
