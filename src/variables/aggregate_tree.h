// Element storage of arrays and structures.
//
// AggregateIndex is an element's key: an array index (>= 0) or a structure
// member name (index -1). AggregateElement is a tree node holding one key and
// one reference on its Variable. AggregateElementTree is a top-down splay
// tree of elements (Sleator and Tarjan): every lookup moves the key to the
// root, so loops over an array and repeated access to one member are cheap.
//
// Array keys order by index; member keys by name compared byte by byte after
// ASCII lower-casing, a shorter name sorting before a longer one it prefixes.
// A tree holds one kind of key only; the owning Variable guarantees it.
//
// Nothing derives from these classes, so they have no virtual functions: a
// node costs two child pointers, its key and its variable pointer.
//
// Whole-tree walks never recurse deeper than 100 levels: below 100 elements
// they recurse (a splay tree of n elements is at most n deep), from 100 on
// they keep their own stack; freeing rotates the tree into a list instead.
#ifndef ORIN_VARIABLES_AGGREGATE_TREE_H_
#define ORIN_VARIABLES_AGGREGATE_TREE_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "util/byte_string.h"

namespace orin {

class Variable;

class AggregateIndex {
 public:
  // An array key; a negative index is stored as 0.
  explicit AggregateIndex(int32_t index) : index_(index < 0 ? 0 : index) {}
  // A member key that borrows `name`: the bytes must outlive the key. Keys
  // stored in a tree own a copy.
  static AggregateIndex Member(std::string_view name) {
    AggregateIndex k(0);
    k.index_ = -1;
    k.name_ = name.data();
    k.length_ = static_cast<uint32_t>(name.size());
    return k;
  }
  // Copies own their name bytes.
  AggregateIndex(const AggregateIndex& other);
  AggregateIndex(AggregateIndex&& other) noexcept;
  AggregateIndex& operator=(const AggregateIndex& other);
  AggregateIndex& operator=(AggregateIndex&& other) noexcept;
  ~AggregateIndex() { Free(); }

  bool is_member() const { return index_ < 0; }
  int32_t index() const { return index_; }
  std::string_view name() const { return std::string_view(name_, length_); }
  // "[3]" for an index, ":name" for a member.
  ByteString Text() const;

  // <0, 0, >0 in key order; both keys must be of the same kind.
  static int Compare(const AggregateIndex& a, const AggregateIndex& b);

 private:
  friend class AggregateElementTree;
  void Free();
  void CopyName(std::string_view name);

  const char* name_ = "";
  uint32_t length_ = 0;
  int32_t index_;
  bool owned_ = false;
};

class AggregateElement {
 public:
  // Takes over one reference on `variable` (which may be null).
  AggregateElement(const AggregateIndex& key, Variable* variable);
  ~AggregateElement();  // releases the variable
  AggregateElement(const AggregateElement&) = delete;
  AggregateElement& operator=(const AggregateElement&) = delete;

  const AggregateIndex& Key() const { return key_; }
  Variable* GetVariable() const { return variable_; }
  // Holds `variable` (adding a reference), then releases the old one.
  void SetVariable(Variable* variable);

 private:
  friend class AggregateElementTree;
  AggregateElement() : key_(0) {}  // the splay header

  AggregateElement* left_ = nullptr;
  AggregateElement* right_ = nullptr;
  AggregateIndex key_;
  Variable* variable_ = nullptr;
};

class AggregateElementTree {
 public:
  // `by_name`: member keys (a structure) rather than indices (an array).
  explicit AggregateElementTree(bool by_name, bool owns_elements = true)
      : by_name_(by_name), owns_(owns_elements) {}
  ~AggregateElementTree() { RemoveAll(); }
  AggregateElementTree(const AggregateElementTree&) = delete;
  AggregateElementTree& operator=(const AggregateElementTree&) = delete;

  bool by_name() const { return by_name_; }
  uint32_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  // The key must not be present.
  void Insert(AggregateElement* element);
  // Unlinks and returns the element of `key` (the caller frees it), or null.
  AggregateElement* Remove(const AggregateIndex& key);
  AggregateElement* Find(const AggregateIndex& key);
  // The element with the smallest key above / largest key below `key`.
  AggregateElement* Next(const AggregateIndex& key);
  AggregateElement* Previous(const AggregateIndex& key);
  AggregateElement* First() const;
  AggregateElement* Last() const;
  // Frees every element (when the tree owns them) and empties the tree.
  void RemoveAll();
  void FreeElement(AggregateElement* element) { delete element; }
  int Compare(const AggregateIndex& a, const AggregateIndex& b) const {
    return AggregateIndex::Compare(a, b);
  }
  // Adds `delta` to every index >= `from`. The caller keeps the keys
  // distinct (removes what a negative shift would collide with).
  void ShiftIndices(int32_t from, int32_t delta);
  // Renumbers the elements 1, 2, 3 ... in order; returns the count.
  int32_t Renumber();

  // Calls f(element) for each element in key order. f must not change the
  // tree.
  template <typename F>
  void ForEach(F&& f) const {
    if (count_ < kRecursionLimit) {
      ForEachRecursive(root_, f);
    } else {
      ForEachIterative(root_, f);
    }
  }

  // Number of nodes on the longest root-to-leaf path (tests, diagnostics).
  uint32_t Height() const;

 private:
  static constexpr uint32_t kRecursionLimit = 100;

  AggregateElement* Splay(const AggregateIndex& key, AggregateElement* t);
  // cmp(node) compares the searched key with the node's key.
  template <typename Cmp>
  static AggregateElement* SplayWith(Cmp cmp, AggregateElement* t);

  template <typename F>
  static void ForEachRecursive(AggregateElement* n, F& f) {
    if (n == nullptr) return;
    ForEachRecursive(n->left_, f);
    AggregateElement* right = n->right_;
    f(n);
    ForEachRecursive(right, f);
  }
  template <typename F>
  static void ForEachIterative(AggregateElement* n, F& f) {
    std::vector<AggregateElement*> stack;
    while (n != nullptr || !stack.empty()) {
      while (n != nullptr) {
        stack.push_back(n);
        n = n->left_;
      }
      n = stack.back();
      stack.pop_back();
      AggregateElement* right = n->right_;
      f(n);
      n = right;
    }
  }

  AggregateElement* root_ = nullptr;
  uint32_t count_ = 0;
  bool by_name_;
  bool owns_;
};

}  // namespace orin

#endif  // ORIN_VARIABLES_AGGREGATE_TREE_H_
