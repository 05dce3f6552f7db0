#include "search/search_space.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace torvex::search {
namespace {

QString ModeOf(int speed, const QString& framing) {
  return QString::number(speed) + u',' + framing;
}

class OrderBuilder {
 public:
  explicit OrderBuilder(const SearchSpace& space) : space_(space) {}

  void Add(int port, const QString& mode, int address) {
    if (address < 0 || address > 255) return;
    if (!seen_.insert({port, mode, address}).second) return;
    order_.push_back({port, mode, address});
  }
  // Every address of the space (and the gateway's own unit) at `mode` on `port`.
  void AddEveryAddress(int port, const QString& mode) {
    for (int address = space_.firstAddress; address <= space_.lastAddress; ++address) {
      Add(port, mode, address);
    }
    if (space_.gatewayUnit) Add(port, mode, 255);
  }
  std::vector<Probe> Take() { return std::move(order_); }

 private:
  const SearchSpace& space_;
  std::set<std::tuple<int, QString, int>> seen_;
  std::vector<Probe> order_;
};

bool InRange(const SearchSpace& space, int address) {
  return (address >= space.firstAddress && address <= space.lastAddress) ||
         (space.gatewayUnit && address == 255);
}

}  // namespace

std::vector<Probe> SearchOrder(const SearchSpace& space) {
  OrderBuilder order(space);
  std::vector<QString> modes;
  for (const int speed : space.speeds) {
    for (const QString& framing : space.framings) modes.push_back(ModeOf(speed, framing));
  }
  const auto usual = [&](const QString& mode) {
    return std::any_of(std::begin(kUsualSpeeds), std::end(kUsualSpeeds),
                       [&](int speed) { return mode.startsWith(QString::number(speed) + u','); });
  };
  const std::vector<int> firstAddresses{kUsualAddress, space.selectedAddress};
  for (const int port : space.ports) {
    const bool network = port == 0;
    for (const int address : firstAddresses) {
      if (!space.configuredMode.isEmpty() && InRange(space, address)) {
        order.Add(port, space.configuredMode, address);
      }
    }
    if (network) {
      order.AddEveryAddress(port, space.configuredMode);
      continue;
    }
    if (InRange(space, kUsualAddress)) {
      for (const QString& mode : modes) order.Add(port, mode, kUsualAddress);
    }
  }
  for (const int port : space.ports) {
    if (port == 0) continue;
    for (const QString& mode : modes) {
      if (usual(mode)) order.AddEveryAddress(port, mode);
    }
  }
  for (const int port : space.ports) {
    if (port == 0) continue;
    for (const QString& mode : modes) order.AddEveryAddress(port, mode);
  }
  return order.Take();
}

}  // namespace torvex::search
