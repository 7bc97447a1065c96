#pragma once

#include <string>
#include <string_view>

namespace wrenfold::base64 {

// Standard base64 ("+" and "/", "=" padding, no line breaks) of arbitrary bytes.
[[nodiscard]] std::string encode(std::string_view bytes);

}  // namespace wrenfold::base64
