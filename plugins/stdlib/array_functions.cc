// arr_... functions. Aggregates are passed by reference (&) so that a
// large array is not copied into the call; only arr_push changes it.
#include <algorithm>

#include "call.h"
#include "functions.h"

namespace orin_std {

namespace {

// The elements from position `start` (1 .. count + 1), `count` of them.
bool Window(Call& c, size_t size, int64_t start, int64_t count, size_t* begin, size_t* end) {
  if (start < 1 || static_cast<uint64_t>(start) > size + 1) {
    return c.Fail("position " + std::to_string(start) + " is outside the elements (1 to " +
                  std::to_string(size + 1) + ")");
  }
  if (count < 0) return c.Fail("count " + std::to_string(count) + " is negative");
  *begin = static_cast<size_t>(start - 1);
  *end = *begin + std::min<uint64_t>(static_cast<uint64_t>(count), size - *begin);
  return true;
}

void SortValues(Call& c, bool descending) {
  ztVariable* a;
  bool is_array;
  if (!c.Aggregate(0, &a, &is_array)) return;
  ElementList list(a);
  std::vector<ztVariable*> values;
  for (const Element& e : list.elements())
    values.push_back(e.value);
  ztProgram* program = c.program();
  std::stable_sort(values.begin(), values.end(), [&](ztVariable* x, ztVariable* y) {
    int r = ztProgram_Compare(program, x, y);
    return descending ? r > 0 : r < 0;
  });
  MakeEmpty(c, true);
  for (size_t i = 0; i < values.size(); ++i) {
    StoreIndexCopy(c.result(), static_cast<int32_t>(i + 1), values[i]);
  }
}

}  // namespace

void ArrCount(Call& c) {
  ztVariable* a;
  bool is_array;
  if (c.Aggregate(0, &a, &is_array)) c.ReturnInteger(ztVariable_ElementsUsed(a));
}

void ArrKeys(Call& c) {
  ztVariable* a;
  bool is_array;
  if (!c.Aggregate(0, &a, &is_array)) return;
  ElementList list(a);
  MakeEmpty(c, true);
  int32_t n = 0;
  for (const Element& e : list.elements()) {
    ztVariable* slot = ztVariable_Array_Element(++n, c.result(), 1);
    if (slot == nullptr) continue;
    if (e.is_index) {
      ztVariable_SetValue_Integer(slot, e.index);
    } else {
      ztVariable_SetValue(slot, e.name.data(), static_cast<int32_t>(e.name.size()));
    }
  }
}

void ArrValues(Call& c) {
  ztVariable* a;
  bool is_array;
  if (!c.Aggregate(0, &a, &is_array)) return;
  ElementList list(a);
  MakeEmpty(c, true);
  int32_t n = 0;
  for (const Element& e : list.elements())
    StoreIndexCopy(c.result(), ++n, e.value);
}

void ArrSort(Call& c) {
  SortValues(c, false);
}
void ArrRsort(Call& c) {
  SortValues(c, true);
}

void ArrFind(Call& c) {
  ztVariable* a;
  bool is_array;
  if (!c.Aggregate(0, &a, &is_array)) return;
  ztVariable* wanted = c.Arg(1);
  std::string_view ignored;
  if (!c.Text(1, &ignored)) return;  // a single value
  ElementList list(a);
  for (const Element& e : list.elements()) {
    if (ztVariable_Aggregate_Type(e.value) == ZT_AGGREGATE_SCALAR &&
        ztProgram_Compare(c.program(), e.value, wanted) == 0) {
      if (e.is_index) return c.ReturnInteger(e.index);
      return c.ReturnText(e.name);
    }
  }
  if (is_array) {
    c.ReturnInteger(0);
  } else {
    c.ReturnText("");
  }
}

void ArrSlice(Call& c) {
  ztVariable* a;
  bool is_array;
  int64_t start, count;
  if (!c.Aggregate(0, &a, &is_array) || !c.Integer(1, &start) || !c.Integer(2, &count)) return;
  ElementList list(a);
  size_t begin = 0, end = 0;
  if (!Window(c, list.elements().size(), start, count, &begin, &end)) return;
  MakeEmpty(c, is_array);
  int32_t n = 0;
  for (size_t i = begin; i < end; ++i) {
    const Element& e = list.elements()[i];
    if (is_array) {
      StoreIndexCopy(c.result(), ++n, e.value);
    } else {
      StoreCopy(c.result(), e, e.value);
    }
  }
}

void ArrMerge(Call& c) {
  ztVariable *a, *b;
  bool a_array, b_array;
  if (!c.Aggregate(0, &a, &a_array) || !c.Aggregate(1, &b, &b_array)) return;
  // An empty never-assigned value fits either kind.
  bool a_empty = ztVariable_Type(a) == ZT_TYPE_NONE, b_empty = ztVariable_Type(b) == ZT_TYPE_NONE;
  if (a_array != b_array && !a_empty && !b_empty) {
    return void(c.Fail("cannot merge an array and a structure"));
  }
  bool is_array = a_empty ? b_array : a_array;
  ElementList first(a), second(b);
  MakeEmpty(c, is_array);
  int32_t n = 0;
  for (const ElementList* list : {&first, &second}) {
    for (const Element& e : list->elements()) {
      if (is_array) {
        StoreIndexCopy(c.result(), ++n, e.value);
      } else {
        StoreCopy(c.result(), e, e.value);  // the second's members win
      }
    }
  }
}

void ArrPush(Call& c) {
  ztVariable* a;
  bool is_array;
  if (!c.Aggregate(0, &a, &is_array)) return;
  if (!is_array) return void(c.Fail("array is a structure; arr_push appends to arrays"));
  int64_t next = static_cast<int64_t>(ztVariable_Array_Max(a)) + 1;
  if (next > INT32_MAX) return void(c.Fail("the array has no index left"));
  ztVariable* value = c.Arg(1);
  if (value == nullptr) return;
  StoreIndexCopy(a, static_cast<int32_t>(next), value);
  c.ReturnInteger(next);
}

}  // namespace orin_std
