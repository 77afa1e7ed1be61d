// Variable: element and array operations, deep copy and flattening.
#include <climits>
#include <memory>
#include <vector>

#include "variables/callback_variable.h"
#include "variables/value_walk.h"
#include "variables/variable.h"

namespace orin {

namespace {

int32_t KindOf(const AggregateIndex& key) {
  return key.is_member() ? kKindStructure : kKindArray;
}

// The first element with an index >= `index`.
AggregateElement* FirstFrom(AggregateElementTree* tree, int32_t index) {
  return index <= 0 ? tree->First() : tree->Next(AggregateIndex(index - 1));
}

int32_t LastIndex(AggregateElementTree* tree) {
  AggregateElement* e = tree->Last();
  return e != nullptr ? e->Key().index() : 0;
}

}  // namespace

// Builds the deep copy of a walked value: each aggregate met becomes a new
// tree, each element a new variable made by its new parent.
class ValueCopier {
 public:
  explicit ValueCopier(Variable* target) : target_(target) {}

  void Enter(Variable* aggregate, const AggregateElement* element, AggregateElementTree* tree) {
    auto* copy = new AggregateElementTree(tree->by_name());
    if (element == nullptr) {
      root_.reset(copy);
      open_.push_back({target_, copy});
      return;
    }
    std::unique_ptr<AggregateElementTree> hold(copy);
    Variable* v = AddElement(element);
    v->InstallTree(hold.release(), aggregate->AggregateKind());
    open_.push_back({v, copy});
  }
  void Leave(Variable*) { open_.pop_back(); }
  void Scalar(Variable* scalar, const AggregateElement* element) {
    if (element != nullptr) AddElement(element)->AssignScalarFrom(scalar);
  }
  void Cycle(Variable*, const AggregateElement* element) { AddElement(element); }

  AggregateElementTree* TakeRoot() { return root_.release(); }

 private:
  struct Open {
    Variable* owner;
    AggregateElementTree* tree;
  };

  Variable* AddElement(const AggregateElement* element) {
    Open& parent = open_.back();
    VarRef v = VarRef::Adopt(parent.owner->NewElementVariable());
    v->name_ = element->GetVariable()->Name();
    parent.tree->Insert(new AggregateElement(element->Key(), v.get()));
    return v.release();
  }

  Variable* target_;
  std::unique_ptr<AggregateElementTree> root_;
  std::vector<Open> open_;
};

void Variable::AssignFrom(Variable* source) {
  if (source->ElementTree() == nullptr) {
    AssignScalarFrom(source);
    return;
  }
  ValueCopier copier(this);
  WalkValue(source, copier);
  InstallTree(copier.TakeRoot(), source->AggregateKind());
}

Variable* Variable::NewElementVariable() {
  return new Variable();
}

namespace {

struct Flattener {
  ByteString* into;
  void Enter(Variable*, const AggregateElement*, AggregateElementTree*) {}
  void Leave(Variable*) {}
  void Cycle(Variable*, const AggregateElement*) {}
  void Scalar(Variable* v, const AggregateElement*) {
    if (!into->empty()) into->Append(',');
    into->Append(v->Value().view());
  }
};

}  // namespace

void Variable::AppendFlattened(ByteString* into) {
  if (IsReference()) return target_->AppendFlattened(into);
  if (tree_ == nullptr) {
    if (!into->empty()) into->Append(',');
    into->Append(Value().view());
    return;
  }
  Flattener f{into};
  WalkValue(this, f);
}

bool Variable::ConvertToAggregate(int32_t kind) {
  if (IsReference()) return target_->ConvertToAggregate(kind);
  if (kind != kKindStructure && kind != kKindArray) {
    StoreNothing();
    DropTree();
    return true;
  }
  if (tree_ != nullptr && kind_ == kind) return true;
  StoreNothing();
  InstallTree(new AggregateElementTree(kind == kKindStructure), kind);
  return true;
}

// --- Elements ---

Variable* Variable::ElementOf(const AggregateIndex& key, bool create) {
  int32_t want = KindOf(key);
  if (tree_ != nullptr && kind_ != want) {
    if (!create) return nullptr;
    DropTree();
  }
  if (tree_ == nullptr) {
    if (!create) return nullptr;
    StoreNothing();
    InstallTree(new AggregateElementTree(key.is_member()), want);
  }
  if (AggregateElement* e = tree_->Find(key)) return e->GetVariable();
  if (!create) return nullptr;
  VarRef v = VarRef::Adopt(NewElementVariable());
  tree_->Insert(new AggregateElement(key, v.get()));
  return v.release();
}

Variable* Variable::Element(const AggregateIndex& key, bool create) {
  if (IsReference()) return target_->Element(key, create);
  // While the callback runs, it reaches the structure's own members.
  if (link_ == LinkKind::kCallbackStruct && key.is_member() && !in_lookup_) {
    return CallbackElement(key, create);
  }
  return ElementOf(key, create);
}

bool Variable::SetElement(const AggregateIndex& key, Variable* element) {
  if (IsReference()) return target_->SetElement(key, element);
  int32_t want = KindOf(key);
  if (tree_ == nullptr || kind_ != want) ConvertToAggregate(want);
  if (tree_ == nullptr || kind_ != want) return false;
  if (AggregateElement* e = tree_->Find(key)) {
    e->SetVariable(element);
    return true;
  }
  auto* e = new AggregateElement(key, nullptr);
  e->SetVariable(element);
  tree_->Insert(e);
  return true;
}

bool Variable::Insert_Array_Element(int32_t index, Variable* element) {
  if (IsReference()) return target_->Insert_Array_Element(index, element);
  if (tree_ == nullptr || kind_ != kKindArray) {
    ConvertToAggregate(kKindArray);
    if (tree_ == nullptr || kind_ != kKindArray) return false;
    if (index < 1) index = 1;
  } else if (index >= 1) {
    // Moving the element at the largest index up would wrap.
    if (LastIndex(tree_) == INT32_MAX) return false;
    tree_->ShiftIndices(index, 1);
  } else {
    int32_t last = LastIndex(tree_);
    if (last == INT32_MAX) return false;
    index = last + 1;
  }
  auto* e = new AggregateElement(AggregateIndex(index), nullptr);
  e->SetVariable(element);
  tree_->Insert(e);
  return true;
}

bool Variable::Delete_Struct_Member(const AggregateIndex& key, bool renumber) {
  if (IsReference()) return target_->Delete_Struct_Member(key, renumber);
  if (tree_ == nullptr || kind_ != KindOf(key)) return false;
  AggregateElement* e = tree_->Remove(key);
  if (e != nullptr) tree_->FreeElement(e);
  if (tree_ != nullptr && kind_ == kKindArray && renumber && key.index() < INT32_MAX) {
    tree_->ShiftIndices(key.index() + 1, -1);
  }
  return e != nullptr;
}

bool Variable::Delete_Array_Elements(int32_t index, int32_t count, bool renumber) {
  if (IsReference()) return target_->Delete_Array_Elements(index, count, renumber);
  if (index < 1) return false;
  ConvertToAggregate(kKindArray);
  if (tree_ == nullptr || kind_ != kKindArray) return false;
  if (count < 0) {
    for (AggregateElement* e = tree_->Last(); e != nullptr && e->Key().index() >= index;
         e = tree_->Last()) {
      tree_->FreeElement(tree_->Remove(e->Key()));
    }
    return true;
  }
  int64_t end = static_cast<int64_t>(index) + count;
  for (AggregateElement* e = FirstFrom(tree_, index); e != nullptr && e->Key().index() < end;
       e = FirstFrom(tree_, index)) {
    tree_->FreeElement(tree_->Remove(e->Key()));
  }
  if (renumber && count > 0 && end <= INT32_MAX) {
    tree_->ShiftIndices(static_cast<int32_t>(end), -count);
  }
  return true;
}

bool Variable::TransferElements(Variable* source, int32_t start, int32_t count, int32_t position,
                                bool copy, bool merge) {
  if (source == nullptr) return false;
  ConvertToAggregate(kKindArray);
  if (tree_ == nullptr || kind_ != kKindArray) return false;
  Variable* from = source->RealIdentity();
  if (start < 1) {
    start = from->Array_Min();
    if (merge && start < 1) start = 1;
  }
  int64_t n = count;
  if (n < 0) {
    int32_t max = from->Array_Max();
    n = max > 0 ? static_cast<int64_t>(max) + 1 - start : 0;
    if (n < 0) n = 0;
  }
  if (position < 1) {
    int32_t last = LastIndex(tree_);
    if (last == INT32_MAX) return false;
    position = last + 1;
  }
  // Take the source elements first: with source and target the same array
  // the shift and the stores below would otherwise overwrite elements
  // before they are read.
  std::vector<std::pair<int32_t, VarRef>> taken;
  AggregateElementTree* from_tree = from->ElementTree();
  bool from_array = from_tree != nullptr && from->AggregateKind() == kKindArray;
  if (from_array) {
    int64_t end = static_cast<int64_t>(start) + n;
    for (AggregateElement* e = FirstFrom(from_tree, start); e != nullptr && e->Key().index() < end;
         e = from_tree->Next(e->Key())) {
      taken.emplace_back(e->Key().index(), VarRef::Share(e->GetVariable()));
    }
  }
  if (merge && n > 0) {
    AggregateElement* last = tree_->Last();
    if (last != nullptr && last->Key().index() >= position &&
        static_cast<int64_t>(last->Key().index()) + n > INT32_MAX) {
      return false;
    }
    tree_->ShiftIndices(position, static_cast<int32_t>(n));
  }
  for (auto& [index, element] : taken) {
    int64_t at = static_cast<int64_t>(index) - start + position;
    if (at < 0 || at > INT32_MAX) continue;
    VarRef stored = element;
    if (copy && element) {
      stored = VarRef::Adopt(NewElementVariable());
      const ByteString& name = element->Name();
      stored->SetName(name.data(), name.size());
      stored->SetValue_Variable(element.get());
    }
    SetElement(AggregateIndex(static_cast<int32_t>(at)), stored.get());
  }
  return true;
}

bool Variable::Array_Merge(Variable* source, int32_t start, int32_t count, int32_t position,
                           bool copy) {
  if (IsReference()) return target_->Array_Merge(source, start, count, position, copy);
  return TransferElements(source, start, count, position, copy, true);
}

bool Variable::Array_Copy(Variable* source, int32_t start, int32_t count, int32_t position,
                          bool copy) {
  if (IsReference()) return target_->Array_Copy(source, start, count, position, copy);
  return TransferElements(source, start, count, position, copy, false);
}

int32_t Variable::Array_Collapse() {
  if (IsReference()) return target_->Array_Collapse();
  if (tree_ == nullptr || kind_ != kKindArray) return 0;
  return tree_->Renumber();
}

int32_t Variable::Array_Max() {
  if (IsReference()) return target_->Array_Max();
  if (tree_ == nullptr || kind_ != kKindArray) return 0;
  return LastIndex(tree_);
}

int32_t Variable::Array_Min() {
  if (IsReference()) return target_->Array_Min();
  if (tree_ == nullptr || kind_ != kKindArray) return 0;
  AggregateElement* e = tree_->First();
  return e != nullptr ? e->Key().index() : 0;
}

int32_t Variable::Array_Next(int32_t index) {
  if (IsReference()) return target_->Array_Next(index);
  if (tree_ == nullptr) return 0;
  if (kind_ != kKindArray) return -1;
  AggregateElement* e = tree_->Next(AggregateIndex(index));
  return e != nullptr ? e->Key().index() : 0;
}

int32_t Variable::Array_Previous(int32_t index) {
  if (IsReference()) return target_->Array_Previous(index);
  if (tree_ == nullptr) return 0;
  if (kind_ != kKindArray) return -1;
  AggregateElement* e = tree_->Previous(AggregateIndex(index));
  return e != nullptr ? e->Key().index() : 0;
}

int32_t Variable::ElementsUsed() {
  if (IsReference()) return target_->ElementsUsed();
  return tree_ != nullptr ? static_cast<int32_t>(tree_->size()) : 0;
}

}  // namespace orin
