// The bench checkout's plan as any editor, disk or accident may leave it: refused with a line and
// a reason, or read into steps that all name what they do.
//
// Input: the plan's text, whole, as UTF-8.
#include <cstdint>
#include <cstdlib>

#include <QString>

#include "checkout/plan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const torvex::checkout::PlanParse parsed = torvex::checkout::ParsePlan(text);
  if (!parsed.plan) {
    if (parsed.error.isEmpty() || parsed.line < 0) std::abort();
    return 0;
  }
  if (parsed.plan->steps.empty()) std::abort();
  for (const torvex::checkout::Step& step : parsed.plan->steps) {
    if (step.name.isEmpty() || step.line < 1) std::abort();
  }
  return 0;
}
