#pragma once

// The script heap: owns every string, object and scope of one script engine and frees the
// unreachable ones. Collection runs only at safe points chosen by the engine, so values held in
// C++ locals between those points stay valid. What cells hold is charged against a limit, which
// is how a movie that builds ever larger strings or arrays is stopped.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "avm1/Value.h"

namespace lumen::avm1 {

// Why a run of scripts was cut short (its time, its calls or its memory ran out); the stage goes
// on without that run.
struct ScriptAbort {
  const char* reason;
};

class Heap {
 public:
  explicit Heap(size_t limit_bytes) : limit_(limit_bytes), allowance_(limit_bytes) {}
  ~Heap();
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;

  template <typename T, typename... Args>
  T* Make(Args&&... args) {
    T* cell = new T(std::forward<Args>(args)...);
    Adopt(cell, sizeof(T));
    return cell;
  }
  // Throws ScriptAbort when the text would take the heap past its limit.
  const StringCell* String(std::string text);

  // Cells that grow after they were made (property tables, array elements) say so here.
  void Charge(size_t bytes) { bytes_ += bytes; }
  // Charges a large block a cell is about to hold (a bitmap's pixels); throws ScriptAbort, as
  // String does, when it would take the heap past its limit.
  void Reserve(size_t bytes);
  // Past what a run may hold: the limit, or a quarter of it more than what was alive at the
  // last collection (so a movie holding much can still run scripts), never twice the limit.
  bool OverLimit() const { return bytes_ > allowance_; }
  size_t Bytes() const { return bytes_; }
  size_t Cells() const { return cells_.size(); }
  // Whether enough was made since the last collection to make one worthwhile.
  bool CollectionDue() const { return bytes_ > next_collection_; }

  void Mark(const Cell* cell) {
    if (cell != nullptr && !cell->marked_) {
      const_cast<Cell*>(cell)->marked_ = true;
      gray_.push_back(const_cast<Cell*>(cell));
    }
  }
  void Mark(const Value& value);
  // Marks from the roots that `mark_roots` marks, then frees every cell left unmarked.
  template <typename Roots>
  void Collect(Roots&& mark_roots) {
    mark_roots(*this);
    Drain();
    Sweep();
  }

 private:
  void Adopt(Cell* cell, size_t bytes);
  void Drain();
  void Sweep();

  struct Entry {
    Cell* cell;
    size_t bytes;
  };
  std::vector<Entry> cells_;
  std::vector<Cell*> gray_;
  size_t bytes_ = 0;
  size_t limit_;
  size_t allowance_;
  size_t next_collection_ = 4 << 20;
};

}  // namespace lumen::avm1
