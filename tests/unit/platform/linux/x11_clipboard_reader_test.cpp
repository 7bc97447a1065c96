#include "platform/linux/x11_clipboard_reader.h"

#include <gtest/gtest.h>

namespace wrenfold {
namespace {

TEST(X11ClipboardReader, FetchesRealFormatsOnePictureLastAndAtMostTheCap) {
  const std::vector<std::string> offered{
      "TARGETS",    "TIMESTAMP", "image/bmp",     "UTF8_STRING", "image/png",
      "text/plain", "text/html", "text/uri-list", "text/html",   "x-kde-passwordManagerHint"};
  EXPECT_EQ(clipboardTypesToFetch(offered, 32),
            (std::vector<std::string>{"text/plain", "text/html", "text/uri-list", "x-kde-passwordManagerHint",
                                      "image/png"}));
  EXPECT_EQ(clipboardTypesToFetch({"image/jpeg", "image/gif"}, 32), std::vector<std::string>{"image/jpeg"});
  EXPECT_EQ(clipboardTypesToFetch(offered, 2), (std::vector<std::string>{"text/plain", "text/html"}));
}

}  // namespace
}  // namespace wrenfold
