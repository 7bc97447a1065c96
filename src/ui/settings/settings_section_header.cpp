#include "ui/settings/settings_section_header.h"

#include <QVBoxLayout>

#include "ui/common/style.h"
#include "ui/common/tone_label.h"

namespace wrenfold {

SettingsSectionHeader::SettingsSectionHeader(const QString& title, const QString& description,
                                             QWidget* parent)
    : QWidget(parent),
      title_(new QLabel(title, this)),
      description_(new ToneLabel(description, &style::secondary, this)) {
  title_->setFont(style::headline(font()));
  description_->setFont(style::subheadline(font()));
  description_->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(3);
  layout->addWidget(title_);
  layout->addWidget(description_);
}

}  // namespace wrenfold
