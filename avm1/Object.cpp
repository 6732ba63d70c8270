#include "avm1/Object.h"

#include <cmath>

#include "avm1/Heap.h"
#include "avm1/Names.h"
#include "avm1/Vm.h"
#include "unicode/Utf.h"

namespace lumen::avm1 {

namespace {

// Tables smaller than this are searched in order; building a hash index does not pay.
constexpr size_t kIndexFrom = 12;
// Arrays may not grow past this many elements (each costs 16 bytes of the heap's limit too).
constexpr double kMaxArrayLength = 1 << 24;

}  // namespace

size_t PropertyMap::FoldHash::operator()(std::string_view s) const {
  std::string folded;  // a name past ASCII hashes as the player's case table folds it
  if (!unicode::IsAscii(s)) s = folded = FoldName(s);
  size_t h = 1469598103u;
  for (char c : s) h = (h ^ static_cast<unsigned char>(FoldAscii(c))) * 16777619u;
  return h;
}

bool PropertyMap::FoldEqual::operator()(std::string_view a, std::string_view b) const {
  return SameName(a, b, false);
}

Property* PropertyMap::Find(std::string_view name, bool case_sensitive) {
  if (index_.empty()) {
    for (Property& p : entries_) {
      if (SameName(p.name, name, case_sensitive)) return &p;
    }
    return nullptr;
  }
  auto [first, last] = index_.equal_range(name);
  Property* found = nullptr;
  for (auto it = first; it != last; ++it) {
    Property& p = entries_[it->second];
    if (!case_sensitive || p.name == name) {
      // The earliest made wins, as when searching in order.
      if (found == nullptr || &p < found) found = &p;
    }
  }
  return found;
}

Property& PropertyMap::Add(std::string_view name) {
  // Most objects hold a few properties: one allocation instead of three growths.
  if (entries_.empty()) entries_.reserve(4);
  entries_.emplace_back();
  entries_.back().name = std::string(name);
  if (!index_.empty()) {
    index_.emplace(std::string(name), static_cast<uint32_t>(entries_.size() - 1));
  } else if (entries_.size() >= kIndexFrom) {
    Reindex();
  }
  return entries_.back();
}

bool PropertyMap::Erase(std::string_view name, bool case_sensitive) {
  Property* p = Find(name, case_sensitive);
  if (p == nullptr) return false;
  entries_.erase(entries_.begin() + (p - entries_.data()));
  if (!index_.empty()) Reindex();
  return true;
}

void PropertyMap::Reindex() {
  index_.clear();
  if (entries_.size() < kIndexFrom) return;
  for (uint32_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].name, i);
}

size_t PropertyMap::Footprint() const {
  size_t bytes = entries_.capacity() * sizeof(Property) + index_.size() * 48;
  for (const Property& p : entries_) bytes += p.name.capacity();
  return bytes;
}

void Object::Trace(Heap& heap) {
  heap.Mark(proto_);
  heap.Mark(primitive);
  for (const Property& p : properties_.Entries()) {
    heap.Mark(p.value);
    heap.Mark(p.getter);
    heap.Mark(p.setter);
  }
  if (watches) {
    for (const Watch& w : *watches) {
      heap.Mark(w.callback);
      heap.Mark(w.data);
    }
  }
}

void ConstantPool::Trace(Heap& heap) {
  for (const StringCell* s : strings) heap.Mark(s);
}

void Scope::Trace(Heap& heap) {
  heap.Mark(object);
  heap.Mark(parent);
}

void FunctionObject::Trace(Heap& heap) {
  Object::Trace(heap);
  heap.Mark(scope);
  heap.Mark(pool);
  heap.Mark(origin);
}

namespace {
constexpr int kMaxSuperDepth = 256;
}  // namespace

SuperObject::SuperObject(Object* holder, Value self)
    : Object(holder ? holder->Proto() : nullptr), holder_(holder), self_(self) {
  Object* o = self_.AsObject();
  int steps = 1;
  for (Object* p = o ? o->Proto() : nullptr; p != nullptr && steps <= kMaxSuperDepth;
       p = p->Proto(), ++steps) {
    if (p == holder_) {
      depth_ = steps;
      return;
    }
  }
}

Object* SuperObject::Holder() {
  if (depth_ > 0) {
    Object* p = self_.AsObject();
    for (int i = 0; i < depth_ && p != nullptr; ++i) p = p->Proto();
    holder_ = p;
    SetProto(p ? p->Proto() : nullptr);
  }
  return holder_;
}

void SuperObject::Trace(Heap& heap) {
  Object::Trace(heap);
  heap.Mark(holder_);
  heap.Mark(self_);
}

void ArrayObject::Trace(Heap& heap) {
  Object::Trace(heap);
  for (const Value& v : elements) heap.Mark(v);
}

bool ParseArrayIndex(std::string_view name, uint32_t& index) {
  if (name.empty() || name.size() > 10 || (name.size() > 1 && name[0] == '0')) return false;
  uint64_t n = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n >= 0xFFFFFFFFu) return false;
  index = static_cast<uint32_t>(n);
  return true;
}

bool ArrayObject::Resize(Vm& vm, double length) {
  if (!(length >= 0) || length > kMaxArrayLength) return false;
  const auto n = static_cast<size_t>(length);
  if (n > elements.size()) vm.heap().Charge((n - elements.size()) * sizeof(Value));
  elements.resize(n);
  if (unset.size() > n) unset.resize(n);
  return true;
}

bool ArrayObject::Lengthen(Vm& vm, double length) {
  const size_t old = elements.size();
  if (!Resize(vm, length)) return false;
  if (elements.size() > old) {
    unset.resize(old, false);
    unset.resize(elements.size(), true);
  }
  return true;
}

bool ArrayObject::GetNative(Vm&, std::string_view name, Value& out) {
  if (name == "length") {
    out = static_cast<double>(elements.size());
    return true;
  }
  uint32_t index = 0;
  if (!ParseArrayIndex(name, index)) return false;
  if (index >= elements.size()) return false;
  out = elements[index];
  return true;
}

bool ArrayObject::SetNative(Vm& vm, std::string_view name, const Value& value) {
  if (name == "length") {
    const double n = vm.ToNumber(value);
    if (std::isfinite(n) && n >= 0) Lengthen(vm, std::floor(n));
    return true;
  }
  uint32_t index = 0;
  if (!ParseArrayIndex(name, index)) return false;
  if (index >= elements.size() && !Lengthen(vm, static_cast<double>(index) + 1)) return false;
  elements[index] = value;
  if (index < unset.size()) unset[index] = false;
  return true;
}

void ArrayObject::NativeKeys(Vm&, std::vector<std::string>& keys) {
  // Like other properties, the last made comes first.
  for (size_t i = elements.size(); i-- > 0;) {
    if (i >= unset.size() || !unset[i]) keys.push_back(std::to_string(i));
  }
}

}  // namespace lumen::avm1
