#include "core/templates/output_mode.h"

namespace wrenfold {

std::string_view rawValue(OutputMode mode) {
  switch (mode) {
    case OutputMode::insertableText:
      return "insertableText";
    case OutputMode::candidates:
      return "candidates";
    case OutputMode::markdown:
      return "markdown";
    case OutputMode::structuredJSON:
      return "structuredJSON";
  }
  return "insertableText";  // unreachable: every case returns above
}

std::optional<OutputMode> outputModeFromRawValue(std::string_view raw) {
  for (const OutputMode mode : kAllOutputModes) {
    if (rawValue(mode) == raw) {
      return mode;
    }
  }
  return std::nullopt;
}

}  // namespace wrenfold
