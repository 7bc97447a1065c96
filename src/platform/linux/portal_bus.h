#pragma once

// What the adapters of the desktop's portals (xdg-desktop-portal) share: the portal's address
// and the paths of the Request and session objects that carry its answers.

#include <string>

typedef struct _GDBusConnection GDBusConnection;  // NOLINT(modernize-use-using)
typedef struct _GVariant GVariant;                // NOLINT(modernize-use-using)

namespace wrenfold {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalObjectPath = "/org/freedesktop/portal/desktop";

// Request and session objects live under the caller's unique name, ":1.42" spelled "1_42".
[[nodiscard]] std::string portalSenderPathElement(GDBusConnection* bus);
// The string or object path under `key`; empty when missing.
[[nodiscard]] std::string portalStringIn(GVariant* dictionary, const char* key);

}  // namespace wrenfold
