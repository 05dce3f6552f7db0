#include "engine/request_queue.h"

namespace torvex {

bool RequestQueue::CommitRequest() {
  if (IsFull()) return false;
  writeIndex_ = Next(writeIndex_);
  ++committed_;
  return true;
}

void RequestQueue::AdvanceReadIndex() {
  // A valid-looking answer with nothing in flight (stray bytes before the first send) must
  // not push ReadIndex past WriteIndex: the ring would then look full of stale slots.
  if (IsEmpty()) return;
  readIndex_ = Next(readIndex_);
  ++answered_;
}

}  // namespace torvex
