// mbpoll, a Modbus master of its own, reads the simulator's status registers: over Modbus TCP
// and, in RTU, over the pseudo-terminal. mbpoll counts references from 1, so reference 3043 is
// register 3042.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "sim/controller.h"
#include "sim/eeprom.h"
#include "sim/text.h"
#include "sim_process.h"
#include "tcp_client.h"

namespace torvex::sim {
namespace {

using testing::Finished;
using testing::SimProcess;

bool HaveMbpoll() {
  std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string dir; std::getline(path, dir, ':');) {
    if (!dir.empty() && ::access((std::filesystem::path(dir) / "mbpoll").c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Registers 3042-3051 as a frozen controller with `seed` holds them.
std::map<int, std::uint16_t> Expected(std::uint64_t seed) {
  const RegisterImage image = Controller(Eeprom::Defaults(), Plant(seed, true), 7).Registers(0);
  std::map<int, std::uint16_t> registers;
  for (int r = 3042; r <= 3051; ++r) registers[r] = image[static_cast<std::size_t>(r - kFirstRegister)];
  return registers;
}

// "[3043]: \t0x0105" lines, by register (reference - 1).
std::map<int, std::uint16_t> Polled(const std::string& out) {
  static const std::regex kLine(R"(\[(\d+)\]:\s+0x([0-9A-Fa-f]{4}))");
  std::map<int, std::uint16_t> registers;
  for (std::sregex_iterator m(out.begin(), out.end(), kLine), end; m != end; ++m) {
    registers[std::stoi((*m)[1].str()) - 1] = static_cast<std::uint16_t>(std::stoul((*m)[2].str(), nullptr, 16));
  }
  return registers;
}

const std::vector<std::string> kReadStatus = {"-a", "7", "-r", "3043", "-c", "10", "-t", "4:hex", "-1"};

TEST(Mbpoll, ReadsTheStatusRegistersOverModbusTcp) {
  if (!HaveMbpoll()) GTEST_SKIP() << "mbpoll is not installed (Debian package mbpoll)";
  SimProcess sim({"--listen", "127.0.0.1:0", "--modbus-tcp", "--frozen", "--seed", "11"}, false);
  ASSERT_TRUE(sim.Started());
  std::vector<std::string> args = {"-m", "tcp", "-p", Dec(testing::PortInBanner(sim.Banner()))};
  args.insert(args.end(), kReadStatus.begin(), kReadStatus.end());
  args.push_back("127.0.0.1");
  const Finished poll = testing::RunProgram("mbpoll", args);
  EXPECT_EQ(poll.exitCode, 0) << poll.out << poll.err;
  const auto registers = Polled(poll.out);
  EXPECT_EQ(registers, Expected(11)) << poll.out;
  EXPECT_EQ(registers.count(3050) ? registers.at(3050) : 0, 0x0105) << "the protocol version";
  EXPECT_NE(sim.Stop().out.find("1 answered"), std::string::npos);
}

TEST(Mbpoll, ReadsTheStatusRegistersInRtuOverThePseudoTerminal) {
  if (!HaveMbpoll()) GTEST_SKIP() << "mbpoll is not installed (Debian package mbpoll)";
  SimProcess sim({"--frozen", "--seed", "11"});
  ASSERT_TRUE(sim.Started());
  sim.CloseLine();  // mbpoll is the master on this line
  std::vector<std::string> args = {"-m", "rtu", "-b", "115200", "-P", "none", "-s", "2"};
  args.insert(args.end(), kReadStatus.begin(), kReadStatus.end());
  args.push_back(sim.LinkPath().string());
  const Finished poll = testing::RunProgram("mbpoll", args);
  EXPECT_EQ(poll.exitCode, 0) << poll.out << poll.err;
  EXPECT_EQ(Polled(poll.out), Expected(11)) << poll.out;
}

}  // namespace
}  // namespace torvex::sim
