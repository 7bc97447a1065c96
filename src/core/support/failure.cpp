#include "core/support/failure.h"

namespace wrenfold {

std::string Failure::localizedDescription() const {
  if (const auto* e = assistantError()) {
    return e->errorDescription();
  }
  return std::get<Platform>(value_).description;
}

}  // namespace wrenfold
