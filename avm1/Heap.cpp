// Design: a plain mark-and-sweep collector. Marking uses an explicit gray stack, so long chains
// of objects cannot overflow the machine stack. The charge of a cell made larger after its birth
// is approximate: the heap counts it until the next sweep recounts from what survives.

#include "avm1/Heap.h"

#include <algorithm>

#include "avm1/Object.h"

namespace lumen::avm1 {

Heap::~Heap() {
  for (const Entry& entry : cells_) delete entry.cell;
}

void Heap::Reserve(size_t bytes) {
  if (bytes > limit_ || bytes_ + bytes > allowance_ + limit_ / 4) throw ScriptAbort{"memory"};
  bytes_ += bytes;
}

const StringCell* Heap::String(std::string text) {
  const size_t bytes = sizeof(StringCell) + text.capacity();
  if (bytes > limit_ || bytes_ + bytes > allowance_ + limit_ / 4) throw ScriptAbort{"memory"};
  auto* cell = new StringCell(std::move(text));
  Adopt(cell, bytes);
  return cell;
}

void Heap::Adopt(Cell* cell, size_t bytes) {
  cells_.push_back({cell, bytes});
  bytes_ += bytes;
}

void Heap::Mark(const Value& value) {
  if (value.IsString()) {
    Mark(value.AsStringCell());
  } else if (value.IsObject()) {
    Mark(value.AsObject());
  }
}

void Heap::Drain() {
  while (!gray_.empty()) {
    Cell* cell = gray_.back();
    gray_.pop_back();
    cell->Trace(*this);
  }
}

void Heap::Sweep() {
  size_t live = 0;
  size_t kept = 0;
  for (Entry& entry : cells_) {
    if (entry.cell->marked_) {
      entry.cell->marked_ = false;
      if (auto* object = dynamic_cast<Object*>(entry.cell)) entry.bytes = object->Footprint();
      live += entry.bytes;
      cells_[kept++] = entry;
    } else {
      delete entry.cell;
    }
  }
  cells_.resize(kept);
  bytes_ = live;
  next_collection_ = std::max<size_t>(4 << 20, live * 2);
  allowance_ = std::min(std::max(limit_, live + limit_ / 4), limit_ * 2);
}

}  // namespace lumen::avm1
