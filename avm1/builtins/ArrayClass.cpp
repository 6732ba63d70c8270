// Array: the constructor, the sort flags and the methods of Array.prototype. The methods are
// generic. On an array they work on its dense elements in place. On any other object they read
// `length` and the object's own stored values (inherited and computed ones read as undefined, as
// in the reference player), work on a copy and write it back. Sorting is a merge sort of
// indices: stable, and safe with compare functions that contradict themselves.

#include <algorithm>
#include <cmath>

#include "avm1/Builtins.h"
#include "avm1/CaseMap.h"
#include "avm1/ClipObject.h"
#include "avm1/Vm.h"
#include "unicode/Utf.h"

namespace lumen::avm1 {

using namespace unicode;

namespace {

constexpr size_t kMaxLength = size_t{1} << 24;  // what ArrayObject itself allows
// How much of another object's `length` the methods believe.
constexpr double kMaxBorrowedLength = 1 << 20;
constexpr size_t kMaxJoinBytes = size_t{1} << 27;

enum SortFlag : int32_t {
  kCaseInsensitive = 1,
  kDescending = 2,
  kUniqueSort = 4,
  kReturnIndexedArray = 8,
  kNumeric = 16,
};

void CheckLength(size_t n) {
  if (n > kMaxLength) throw ScriptAbort{"memory"};
}

bool IsFunction(const Value& v) {
  return v.AsObject() && v.AsObject()->TypeOf() == "function";
}

ArrayObject* NewArrayOf(Vm& vm, std::vector<Value> values) {
  CheckLength(values.size());
  ArrayObject* array = vm.NewArray();
  vm.heap().Charge(values.size() * sizeof(Value));
  array->elements = std::move(values);
  return array;
}

// The elements a method works on: an array's own vector, or a copy of another object's.
class Items {
 public:
  Items(Vm& vm, const Value& self) : vm_(vm), object_(self.AsObject()) {
    array_ = dynamic_cast<ArrayObject*>(object_);
    if (array_ != nullptr) {
      old_size_ = array_->elements.size();
    } else if (object_ != nullptr) {
      const double n = vm.ToNumber(vm.Get(object_, "length"));
      old_size_ = n >= 1 ? static_cast<size_t>(std::min(n, kMaxBorrowedLength)) : 0;
      for (size_t i = 0; i < old_size_; ++i) copy_.push_back(OwnValue(std::to_string(i)));
    }
  }

  bool Valid() const { return object_ != nullptr; }
  std::vector<Value>& operator*() { return array_ ? array_->elements : copy_; }
  std::vector<Value>* operator->() { return &**this; }

  // Makes the changes visible: charges an array's growth, writes another object's copy back.
  void Commit() {
    const size_t size = (*this)->size();
    CheckLength(size);
    if (array_ != nullptr) {
      if (size > old_size_) vm_.heap().Charge((size - old_size_) * sizeof(Value));
      array_->unset.clear();
    } else {
      for (size_t i = 0; i < size; ++i) vm_.Set(object_, std::to_string(i), copy_[i]);
      for (size_t i = size; i < old_size_; ++i) vm_.Delete(object_, std::to_string(i));
      vm_.Set(object_, "length", static_cast<double>(size));
    }
    old_size_ = size;
  }

 private:
  Value OwnValue(const std::string& name) {
    Value v;
    if (object_->GetNative(vm_, name, v)) return v;
    const Property* p = object_->Properties().Find(name, vm_.CaseSensitive());
    if (p == nullptr || p->getter || p->setter || !p->VisibleIn(vm_.Version())) return Value();
    return p->value;
  }

  Vm& vm_;
  Object* object_;
  ArrayObject* array_ = nullptr;
  std::vector<Value> copy_;
  size_t old_size_ = 0;
};

// A position counted from the end when negative, then kept within the elements.
size_t FromEnd(int64_t i, size_t size) {
  const auto n = static_cast<int64_t>(size);
  if (i < 0) i = std::max<int64_t>(n + i, 0);
  return static_cast<size_t>(std::min(i, n));
}

// --- Construction ---------------------------------------------------------------------------

// A single number is a length; anything else lists the elements.
void FillArray(Vm& vm, ArrayObject* array, std::span<const Value> values) {
  if (values.size() == 1 && values[0].IsNumber()) {
    const double n = values[0].AsNumber();
    if (n >= 0) array->Lengthen(vm, std::floor(n));
    return;
  }
  CheckLength(values.size());
  vm.heap().Charge(values.size() * sizeof(Value));
  array->elements.assign(values.begin(), values.end());
}

void FillObject(Vm& vm, Object* o, std::span<const Value> values) {
  if (values.size() == 1 && values[0].IsNumber()) {
    vm.Set(o, "length", values[0]);
    return;
  }
  for (size_t i = 0; i < values.size(); ++i) vm.Set(o, std::to_string(i), values[i]);
  vm.Set(o, "length", static_cast<double>(values.size()));
}

Value ArrayConstruct(Vm& vm, const Arguments& args) {
  Object* proto = args.self.AsObject() ? args.self.AsObject() : vm.builtins().array_proto;
  auto* array = vm.heap().Make<ArrayObject>(proto);
  FillArray(vm, array, args.values);
  return static_cast<Object*>(array);
}

bool InheritsFrom(Object* o, Object* proto) {
  for (int i = 0; o != nullptr && i < 256; ++i) {
    o = o->Proto();
    if (o == proto) return true;
  }
  return false;
}

// `super(...)` in a subclass reaches here with the new instance as `this`, which takes the
// elements; a plain call makes a new array.
Value ArrayCall(Vm& vm, const Arguments& args) {
  Object* self = args.self.AsObject();
  if (self != nullptr && self->AsClip() == nullptr && dynamic_cast<ArrayObject*>(self) == nullptr &&
      InheritsFrom(self, vm.builtins().array_proto)) {
    FillObject(vm, self, args.values);
    return self;
  }
  ArrayObject* array = vm.NewArray();
  FillArray(vm, array, args.values);
  return static_cast<Object*>(array);
}

// --- Adding and removing --------------------------------------------------------------------

Value Push(Vm& vm, const Arguments& args) {
  Items items(vm, args.self);
  if (!items.Valid()) return Value();
  CheckLength(items->size() + args.size());
  items->insert(items->end(), args.values.begin(), args.values.end());
  items.Commit();
  return static_cast<double>(items->size());
}

Value Unshift(Vm& vm, const Arguments& args) {
  Items items(vm, args.self);
  if (!items.Valid()) return Value();
  CheckLength(items->size() + args.size());
  items->insert(items->begin(), args.values.begin(), args.values.end());
  items.Commit();
  return static_cast<double>(items->size());
}

Value Pop(Vm& vm, const Arguments& args) {
  Items items(vm, args.self);
  if (!items.Valid() || items->empty()) return Value();
  const Value last = items->back();
  items->pop_back();
  items.Commit();
  return last;
}

Value Shift(Vm& vm, const Arguments& args) {
  Items items(vm, args.self);
  if (!items.Valid() || items->empty()) return Value();
  const Value first = items->front();
  items->erase(items->begin());
  items.Commit();
  return first;
}

// splice(start, count, ...): an undefined start or count, or a negative count, changes nothing
// and gives undefined.
Value Splice(Vm& vm, const Arguments& args) {
  if (args[0].IsUndefined()) return Value();
  Items items(vm, args.self);
  if (!items.Valid()) return Value();
  const size_t n = items->size();
  const size_t start = FromEnd(vm.ToInt32(args[0]), n);
  size_t count = n - start;
  if (args.size() > 1) {
    if (args[1].IsUndefined()) return Value();
    const int32_t asked = vm.ToInt32(args[1]);
    if (asked < 0) return Value();
    count = std::min(count, static_cast<size_t>(asked));
  }
  const auto first = items->begin() + static_cast<ptrdiff_t>(start);
  std::vector<Value> removed(first, first + static_cast<ptrdiff_t>(count));
  const std::span<const Value> added =
      args.size() > 2 ? args.values.subspan(2) : std::span<const Value>();
  CheckLength(n - count + added.size());
  items->erase(first, first + static_cast<ptrdiff_t>(count));
  items->insert(items->begin() + static_cast<ptrdiff_t>(start), added.begin(), added.end());
  items.Commit();
  return static_cast<Object*>(NewArrayOf(vm, std::move(removed)));
}

Value Reverse(Vm& vm, const Arguments& args) {
  Items items(vm, args.self);
  if (!items.Valid()) return Value();
  std::reverse(items->begin(), items->end());
  items.Commit();
  return args.self;
}

// --- Copies ---------------------------------------------------------------------------------

Value Slice(Vm& vm, const Arguments& args) {
  Items items(vm, args.self);
  if (!items.Valid()) return Value();
  const size_t n = items->size();
  const size_t start = FromEnd(vm.ToInt32(args[0]), n);
  const size_t end = args[1].IsUndefined() ? n : FromEnd(vm.ToInt32(args[1]), n);
  std::vector<Value> part;
  if (end > start)
    part.assign(items->begin() + static_cast<ptrdiff_t>(start),
                items->begin() + static_cast<ptrdiff_t>(end));
  return static_cast<Object*>(NewArrayOf(vm, std::move(part)));
}

// Array arguments add their elements, one level deep; other values add themselves.
Value Concat(Vm& vm, const Arguments& args) {
  Items items(vm, args.self);
  std::vector<Value> all;
  if (items.Valid()) all = *items;
  for (const Value& v : args.values) {
    if (auto* array = dynamic_cast<ArrayObject*>(v.AsObject())) {
      CheckLength(all.size() + array->elements.size());
      all.insert(all.end(), array->elements.begin(), array->elements.end());
    } else {
      all.push_back(v);
    }
  }
  return static_cast<Object*>(NewArrayOf(vm, std::move(all)));
}

std::string JoinText(Vm& vm, const Value& self, std::string_view separator) {
  Items items(vm, self);
  if (!items.Valid()) return std::string();
  // Element conversions run scripts, which may change the array under us.
  const std::vector<Value> list = *items;
  std::string out;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) out += separator;
    out += vm.ToString(list[i]);
    if (out.size() > kMaxJoinBytes) throw ScriptAbort{"memory"};
  }
  return out;
}

Value Join(Vm& vm, const Arguments& args) {
  const std::string separator = args[0].IsUndefined() ? std::string(",") : vm.ToString(args[0]);
  return vm.Str(JoinText(vm, args.self, separator));
}

Value ToString(Vm& vm, const Arguments& args) {
  return vm.Str(JoinText(vm, args.self, ","));
}

// --- Sorting --------------------------------------------------------------------------------

// What one element is compared by, in one field, prepared once per sort.
struct SortKey {
  Value value;
  std::u16string text;
};

class Sorter {
 public:
  Sorter(Vm& vm, Value compare, std::vector<int32_t> field_flags)
      : vm_(vm), compare_(compare), flags_(std::move(field_flags)) {}

  // Keys of one element, one per field.
  void Add(std::vector<Value> fields) {
    std::vector<SortKey> keys;
    for (size_t f = 0; f < fields.size(); ++f) {
      SortKey key{fields[f], {}};
      if (!IsFunction(compare_)) {
        key.text = ToUtf16(vm_.ToString(fields[f]));
        if (flags_[f] & kCaseInsensitive) key.text = ToLowerText(key.text);
      }
      keys.push_back(std::move(key));
    }
    rows_.push_back(std::move(keys));
  }

  // The order of the rows, sorted.
  std::vector<uint32_t> Order() {
    std::vector<uint32_t> order(rows_.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::vector<uint32_t> merged(order.size());
    for (size_t width = 1; width < order.size(); width *= 2) {
      for (size_t lo = 0; lo < order.size(); lo += 2 * width) {
        Merge(order, merged, lo, std::min(lo + width, order.size()),
              std::min(lo + 2 * width, order.size()));
      }
      order.swap(merged);
    }
    return order;
  }

  bool HasTies(const std::vector<uint32_t>& order) {
    for (size_t i = 1; i < order.size(); ++i) {
      if (Compare(order[i - 1], order[i]) == 0) return true;
    }
    return false;
  }

 private:
  void Merge(const std::vector<uint32_t>& in, std::vector<uint32_t>& out, size_t lo, size_t mid,
             size_t hi) {
    size_t i = lo, j = mid, k = lo;
    while (i < mid && j < hi) out[k++] = Compare(in[j], in[i]) < 0 ? in[j++] : in[i++];
    while (i < mid) out[k++] = in[i++];
    while (j < hi) out[k++] = in[j++];
  }

  int Compare(uint32_t a, uint32_t b) {
    for (size_t f = 0; f < flags_.size(); ++f) {
      int r = CompareKeys(rows_[a][f], rows_[b][f], flags_[f]);
      if (flags_[f] & kDescending) r = -r;
      if (r != 0) return r;
    }
    return 0;
  }

  // Numbers compare as numbers under NUMERIC; everything else by UTF-16 units of its text.
  int CompareKeys(const SortKey& a, const SortKey& b, int32_t flags) {
    if (IsFunction(compare_)) {
      const Value pair[] = {a.value, b.value};
      const double r = vm_.ToNumber(vm_.Call(compare_, Value(), pair));
      return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
    if ((flags & kNumeric) && a.value.IsNumber() && b.value.IsNumber()) {
      const double x = a.value.AsNumber(), y = b.value.AsNumber();
      return x < y ? -1 : x > y ? 1 : 0;
    }
    const int r = a.text.compare(b.text);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
  }

  Vm& vm_;
  Value compare_;
  std::vector<int32_t> flags_;
  std::vector<std::vector<SortKey>> rows_;
};

// UNIQUESORT fails with 0 on equal elements; RETURNINDEXEDARRAY leaves the array alone and
// gives the order; otherwise the elements are put in order and the array is the result.
Value FinishSort(Vm& vm, const Value& self, Items& items, Sorter& sorter, int32_t flags) {
  const std::vector<uint32_t> order = sorter.Order();
  if ((flags & kUniqueSort) && sorter.HasTies(order)) return 0;
  if (flags & kReturnIndexedArray) {
    std::vector<Value> indices;
    for (uint32_t i : order) indices.emplace_back(static_cast<double>(i));
    return static_cast<Object*>(NewArrayOf(vm, std::move(indices)));
  }
  const std::vector<Value> before = *items;
  items->resize(before.size());
  for (size_t i = 0; i < order.size(); ++i) (*items)[i] = before[order[i]];
  items.Commit();
  return self;
}

// sort(), sort(flags), sort(compare) or sort(compare, flags).
Value Sort(Vm& vm, const Arguments& args) {
  Items items(vm, args.self);
  if (!items.Valid()) return Value();
  const bool has_compare = IsFunction(args[0]) || (args.size() > 1 && args[0].IsNullish());
  const Value flag_arg = has_compare ? args[1] : args[0];
  const int32_t flags = flag_arg.IsUndefined() ? 0 : vm.ToInt32(flag_arg);
  Sorter sorter(vm, has_compare ? args[0] : Value(), {flags});
  for (const Value& v : std::vector<Value>(*items)) sorter.Add({v});
  return FinishSort(vm, args.self, items, sorter, flags);
}

std::vector<std::string> FieldNames(Vm& vm, const Value& names) {
  std::vector<std::string> out;
  if (auto* list = dynamic_cast<ArrayObject*>(names.AsObject())) {
    for (const Value& v : list->elements) out.push_back(vm.ToString(v));
  } else {
    out.push_back(vm.ToString(names));
  }
  return out;
}

// sortOn(name or names, flags or one flags value per name).
Value SortOn(Vm& vm, const Arguments& args) {
  Items items(vm, args.self);
  if (!items.Valid() || args[0].IsUndefined()) return Value();
  const std::vector<std::string> names = FieldNames(vm, args[0]);
  std::vector<int32_t> field_flags(names.size(), 0);
  if (auto* list = dynamic_cast<ArrayObject*>(args[1].AsObject())) {
    if (list->elements.size() == names.size()) {
      for (size_t f = 0; f < names.size(); ++f) field_flags[f] = vm.ToInt32(list->elements[f]);
    }
  } else if (!args[1].IsUndefined()) {
    std::fill(field_flags.begin(), field_flags.end(), vm.ToInt32(args[1]));
  }
  const int32_t flags = field_flags.empty() ? 0 : field_flags[0];
  Sorter sorter(vm, Value(), field_flags);
  for (const Value& element : std::vector<Value>(*items)) {
    std::vector<Value> fields;
    for (const std::string& name : names) {
      fields.push_back(element.IsNullish() ? Value() : vm.GetMember(element, name));
    }
    sorter.Add(std::move(fields));
  }
  return FinishSort(vm, args.self, items, sorter, flags);
}

}  // namespace

void InstallArrayClass(Vm& vm) {
  Builtins& b = vm.builtins();
  b.array_proto = vm.heap().Make<ArrayObject>(b.object_proto);
  FunctionObject* ctor = vm.NewClass(b.array_proto, ArrayCall, ArrayConstruct);
  b.array_ctor = ctor;
  constexpr uint8_t kConstant = kDontEnum | kDontDelete | kReadOnly;
  const struct {
    const char* name;
    int32_t value;
  } constants[] = {{"CASEINSENSITIVE", kCaseInsensitive},
                   {"DESCENDING", kDescending},
                   {"UNIQUESORT", kUniqueSort},
                   {"RETURNINDEXEDARRAY", kReturnIndexedArray},
                   {"NUMERIC", kNumeric}};
  for (const auto& c : constants) vm.DefineValue(ctor, c.name, c.value, kConstant);
  const struct {
    const char* name;
    NativeFunction fn;
  } methods[] = {{"push", Push},   {"pop", Pop},         {"concat", Concat},
                 {"shift", Shift}, {"unshift", Unshift}, {"slice", Slice},
                 {"join", Join},   {"splice", Splice},   {"toString", ToString},
                 {"sort", Sort},   {"reverse", Reverse}, {"sortOn", SortOn}};
  for (const auto& m : methods)
    vm.DefineMethod(b.array_proto, m.name, m.fn, kDontEnum | kDontDelete);
  vm.DefineValue(vm.Global(), "Array", static_cast<Object*>(ctor));
}

}  // namespace lumen::avm1
