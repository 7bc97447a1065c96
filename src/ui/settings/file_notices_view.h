#pragma once

// Warnings about the data files, one per line with the warning symbol: a file that could not
// be read (and where it was kept), a key readable by other users. Hidden while there is none.

#include <QWidget>
#include <string>
#include <vector>

class QVBoxLayout;

namespace wrenfold {

class FileNoticesView : public QWidget {
 public:
  explicit FileNoticesView(QWidget* parent = nullptr);

  void setNotices(const std::vector<std::string>& notices);
  [[nodiscard]] const std::vector<std::string>& notices() const { return notices_; }

 private:
  QVBoxLayout* layout_;
  std::vector<std::string> notices_;
};

}  // namespace wrenfold
