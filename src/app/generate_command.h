#pragma once

// `wrenfold generate`: one generation without a desktop. The text of a file or of standard
// input is the context, taken as typed context.

#include <iosfwd>

#include "app/command_line.h"
#include "core/ai/http_client.h"
#include "core/platform/secret_store.h"
#include "core/support/app_paths.h"
#include "core/support/system_log.h"

namespace wrenfold::app {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitGenerationFailed = 1;
inline constexpr int kExitUsage = 2;

struct GenerateEnvironment {
  AppPaths paths;
  std::istream& input;
  std::ostream& output;
  std::ostream& errors;
  std::shared_ptr<SystemLog> systemLog;
  HttpClientOptions http;          // the product's defaults; tests shorten the timeout or add a CA
  SecretStore* secrets = nullptr;  // the desktop's keyring; absent: only a key in config.json is read
};

// Runs one generation and returns the process exit code: 0 on success, 1 when the generation
// failed (the overlay's message on `errors`), 2 on a usage error.
[[nodiscard]] int runGenerate(const GenerateArguments& arguments, GenerateEnvironment& environment);

}  // namespace wrenfold::app
