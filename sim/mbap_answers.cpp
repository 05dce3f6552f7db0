#include "sim/mbap_answers.h"

namespace torvex::sim {

std::vector<Transmission> MbapAnswers::For(const MbapRequest& request, Decision& d,
                                           std::int64_t heardUs, std::int64_t dueUs) {
  std::vector<Transmission> out;
  if (d.echo) out.push_back({heardUs, request.adu});
  if (d.answer.empty()) return out;

  std::uint16_t transaction = request.transaction;
  if (d.wrongTransaction) {
    transaction = static_cast<std::uint16_t>(transaction + kWrongTransactionOffset);
    d.verdict += ", wrong transaction identifier";
  }
  Bytes answer = MbapAnswer(transaction, request.unit, d.answer);
  if (!d.noise.empty()) {
    if (previous_.empty()) {
      d.verdict += ", no earlier answer to replay";
    } else {
      out.push_back({dueUs, previous_});
      d.verdict += ", the previous answer replayed before it";
    }
  }
  previous_ = MbapAnswer(request.transaction, request.unit, d.answer);
  if (d.corrupt) {
    answer[2] ^= 0xFF;  // the protocol identifier, which is 0 for Modbus
    answer[3] ^= 0xFF;
    d.verdict += ", protocol identifier spoiled";
  }
  if (d.split) {
    const auto half = static_cast<std::ptrdiff_t>(answer.size() / 2);
    out.push_back({dueUs, Bytes(answer.begin(), answer.begin() + half)});
    out.push_back({dueUs + kSplitPauseUs, Bytes(answer.begin() + half, answer.end())});
    d.verdict += ", split";
  } else {
    out.push_back({dueUs, std::move(answer)});
  }
  return out;
}

}  // namespace torvex::sim
