// The parameter file as any editor, disk or accident may leave it: refused with a reason that
// can be told, or read into a set that writes out and reads back the same.
//
// Input: the file's text, whole.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "paramfile/param_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex::paramfile;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const ParseRules rules : {ParseRules{}, ParseRules{.answerableAddress = false}}) {
    const ParamFileParse parsed = ParseParamFile(text, rules);
    if (!parsed.image) {
      if (FaultText(parsed.error).empty()) std::abort();
      continue;
    }
    const std::string written = FormatParamFile(*parsed.image, {"2026-12-11 10:15:00", "fuzz", 7, "2.14", "1.05", "ТВ-0421"});
    const ParamFileParse again = ParseParamFile(written, rules);
    if (!again.image || *again.image != *parsed.image) std::abort();
  }
  return 0;
}
