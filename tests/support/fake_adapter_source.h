#pragma once
// Serial adapters this machine does not have: the listing is whatever the test puts in.
#include <vector>

#include "platform/serial_adapters.h"

namespace torvex::test {

class FakeAdapterSource : public AdapterSource {
 public:
  std::vector<SerialAdapter> Adapters() override { return adapters; }
  std::vector<SerialAdapter> adapters;
};

}  // namespace torvex::test
