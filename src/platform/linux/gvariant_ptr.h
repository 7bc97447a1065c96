#pragma once

// Owns a GVariant reference; null is allowed, as D-Bus calls that failed return it.

#include <glib.h>

#include <memory>

namespace wrenfold {

struct VariantUnref {
  void operator()(GVariant* value) const {
    if (value != nullptr) {
      g_variant_unref(value);
    }
  }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

}  // namespace wrenfold
