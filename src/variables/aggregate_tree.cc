#include "variables/aggregate_tree.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "util/ascii.h"
#include "variables/variable.h"

namespace orin {

// --- AggregateIndex ---

AggregateIndex::AggregateIndex(const AggregateIndex& other) : index_(other.index_) {
  if (other.length_ > 0) CopyName(other.name());
}

AggregateIndex::AggregateIndex(AggregateIndex&& other) noexcept
    : name_(other.name_), length_(other.length_), index_(other.index_), owned_(other.owned_) {
  other.name_ = "";
  other.length_ = 0;
  other.owned_ = false;
}

AggregateIndex& AggregateIndex::operator=(const AggregateIndex& other) {
  if (this != &other) {
    AggregateIndex copy(other);
    *this = std::move(copy);
  }
  return *this;
}

AggregateIndex& AggregateIndex::operator=(AggregateIndex&& other) noexcept {
  if (this != &other) {
    Free();
    name_ = other.name_;
    length_ = other.length_;
    index_ = other.index_;
    owned_ = other.owned_;
    other.name_ = "";
    other.length_ = 0;
    other.owned_ = false;
  }
  return *this;
}

void AggregateIndex::Free() {
  if (owned_) std::free(const_cast<char*>(name_));
  name_ = "";
  length_ = 0;
  owned_ = false;
}

void AggregateIndex::CopyName(std::string_view name) {
  char* p = static_cast<char*>(std::malloc(name.size() + 1));
  if (p == nullptr) throw std::bad_alloc();
  std::memcpy(p, name.data(), name.size());
  p[name.size()] = 0;
  name_ = p;
  length_ = static_cast<uint32_t>(name.size());
  owned_ = true;
}

ByteString AggregateIndex::Text() const {
  ByteString s;
  if (is_member()) {
    s.Append(':');
    s.Append(name());
  } else {
    char digits[16];
    uint32_t n = FormatInteger(index_, digits);
    s.Append('[');
    s.Append(digits, n);
    s.Append(']');
  }
  return s;
}

int AggregateIndex::Compare(const AggregateIndex& a, const AggregateIndex& b) {
  if (a.is_member()) return CompareNoCase(a.name(), b.name());
  return a.index_ < b.index_ ? -1 : (a.index_ > b.index_ ? 1 : 0);
}

// --- AggregateElement ---

AggregateElement::AggregateElement(const AggregateIndex& key, Variable* variable)
    : key_(key), variable_(variable) {}

AggregateElement::~AggregateElement() {
  if (variable_ != nullptr) variable_->Release();
}

void AggregateElement::SetVariable(Variable* variable) {
  if (variable != nullptr) variable->AddRef();
  Variable* old = variable_;
  variable_ = variable;
  if (old != nullptr) old->Release();
}

// --- AggregateElementTree ---

template <typename Cmp>
AggregateElement* AggregateElementTree::SplayWith(Cmp cmp, AggregateElement* t) {
  if (t == nullptr) return t;
  AggregateElement header;
  AggregateElement* l = &header;
  AggregateElement* r = &header;
  for (;;) {
    int c = cmp(t);
    if (c < 0) {
      if (t->left_ == nullptr) break;
      if (cmp(t->left_) < 0) {  // zig-zig: rotate right
        AggregateElement* y = t->left_;
        t->left_ = y->right_;
        y->right_ = t;
        t = y;
        if (t->left_ == nullptr) break;
      }
      r->left_ = t;  // link right
      r = t;
      t = t->left_;
    } else if (c > 0) {
      if (t->right_ == nullptr) break;
      if (cmp(t->right_) > 0) {  // zag-zag: rotate left
        AggregateElement* y = t->right_;
        t->right_ = y->left_;
        y->left_ = t;
        t = y;
        if (t->right_ == nullptr) break;
      }
      l->right_ = t;  // link left
      l = t;
      t = t->right_;
    } else {
      break;
    }
  }
  l->right_ = t->left_;
  r->left_ = t->right_;
  t->left_ = header.right_;
  t->right_ = header.left_;
  return t;
}

AggregateElement* AggregateElementTree::Splay(const AggregateIndex& key, AggregateElement* t) {
  if (by_name_) {
    std::string_view name = key.name();
    return SplayWith(
        [name](const AggregateElement* n) { return CompareNoCase(name, n->key_.name()); }, t);
  }
  int32_t index = key.index();
  return SplayWith(
      [index](const AggregateElement* n) {
        int32_t other = n->key_.index_;
        return index < other ? -1 : (index > other ? 1 : 0);
      },
      t);
}

void AggregateElementTree::Insert(AggregateElement* element) {
  element->left_ = element->right_ = nullptr;
  if (root_ != nullptr) {
    root_ = Splay(element->key_, root_);
    if (Compare(element->key_, root_->key_) < 0) {
      element->left_ = root_->left_;
      element->right_ = root_;
      root_->left_ = nullptr;
    } else {
      element->right_ = root_->right_;
      element->left_ = root_;
      root_->right_ = nullptr;
    }
  }
  root_ = element;
  ++count_;
}

AggregateElement* AggregateElementTree::Remove(const AggregateIndex& key) {
  if (root_ == nullptr) return nullptr;
  root_ = Splay(key, root_);
  if (Compare(key, root_->key_) != 0) return nullptr;
  AggregateElement* x = root_;
  if (x->left_ == nullptr) {
    root_ = x->right_;
  } else {
    // Every key on the left is smaller: the splay brings the largest up,
    // leaving its right side free for x's right subtree.
    root_ = Splay(key, x->left_);
    root_->right_ = x->right_;
  }
  x->left_ = x->right_ = nullptr;
  --count_;
  return x;
}

AggregateElement* AggregateElementTree::Find(const AggregateIndex& key) {
  if (root_ == nullptr) return nullptr;
  root_ = Splay(key, root_);
  return Compare(key, root_->key_) == 0 ? root_ : nullptr;
}

AggregateElement* AggregateElementTree::Next(const AggregateIndex& key) {
  if (root_ == nullptr) return nullptr;
  root_ = Splay(key, root_);
  if (Compare(root_->key_, key) > 0) return root_;
  AggregateElement* n = root_->right_;
  if (n == nullptr) return nullptr;
  while (n->left_ != nullptr)
    n = n->left_;
  return n;
}

AggregateElement* AggregateElementTree::Previous(const AggregateIndex& key) {
  if (root_ == nullptr) return nullptr;
  root_ = Splay(key, root_);
  if (Compare(root_->key_, key) < 0) return root_;
  AggregateElement* n = root_->left_;
  if (n == nullptr) return nullptr;
  while (n->right_ != nullptr)
    n = n->right_;
  return n;
}

AggregateElement* AggregateElementTree::First() const {
  AggregateElement* n = root_;
  if (n == nullptr) return nullptr;
  while (n->left_ != nullptr)
    n = n->left_;
  return n;
}

AggregateElement* AggregateElementTree::Last() const {
  AggregateElement* n = root_;
  if (n == nullptr) return nullptr;
  while (n->right_ != nullptr)
    n = n->right_;
  return n;
}

void AggregateElementTree::RemoveAll() {
  AggregateElement* n = root_;
  root_ = nullptr;
  count_ = 0;
  // Rotate left children up until the tree is a right-leaning list, freeing
  // from its head: linear time, no stack whatever the shape.
  while (n != nullptr) {
    if (n->left_ != nullptr) {
      AggregateElement* l = n->left_;
      n->left_ = l->right_;
      l->right_ = n;
      n = l;
    } else {
      AggregateElement* next = n->right_;
      n->right_ = nullptr;
      if (owns_) FreeElement(n);
      n = next;
    }
  }
}

void AggregateElementTree::ShiftIndices(int32_t from, int32_t delta) {
  if (root_ == nullptr || delta == 0) return;
  root_ = Splay(AggregateIndex(from), root_);
  // Unsigned sums: callers keep the results in range; wrapping is defined.
  auto shift = [delta](AggregateElement* e) {
    e->key_.index_ =
        static_cast<int32_t>(static_cast<uint32_t>(e->key_.index_) + static_cast<uint32_t>(delta));
  };
  if (root_->key_.index_ >= from) shift(root_);
  if (count_ < kRecursionLimit) {
    ForEachRecursive(root_->right_, shift);
  } else {
    ForEachIterative(root_->right_, shift);
  }
}

int32_t AggregateElementTree::Renumber() {
  int32_t next = 1;
  ForEach([&next](AggregateElement* e) { e->key_.index_ = next++; });
  return static_cast<int32_t>(count_);
}

uint32_t AggregateElementTree::Height() const {
  uint32_t best = 0;
  std::vector<std::pair<AggregateElement*, uint32_t>> stack;
  if (root_ != nullptr) stack.emplace_back(root_, 1);
  while (!stack.empty()) {
    auto [n, depth] = stack.back();
    stack.pop_back();
    if (depth > best) best = depth;
    if (n->left_ != nullptr) stack.emplace_back(n->left_, depth + 1);
    if (n->right_ != nullptr) stack.emplace_back(n->right_, depth + 1);
  }
  return best;
}

}  // namespace orin
