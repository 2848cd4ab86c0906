#include "frmimgprop.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>

#include "flame_info.h"
#include "flames.h"
#include "lang.h"
#include "program.h"
#include "ui_frmimgprop.h"

namespace workspace {

TfrmImgProp::TfrmImgProp() : ui_(std::make_unique<Ui::frmImgProp>()) {
  ui_->setupUi(this);
  setBorderStyle(platform::BorderStyle::Dialog);
  setFormPosition(platform::FormPosition::OwnerCenter);
}

TfrmImgProp::~TfrmImgProp() = default;

QLabel* TfrmImgProp::Value(const char* name) const { return component<QLabel>(QString::fromLatin1(name)); }

void TfrmImgProp::FormCreate() {
  Lang->ApplyCaptions(this);
  title_ = Lang->GetMsg("TI_IMGPROP");
  setWindowTitle(title_);
  unknownText_ = Lang->GetMsg("LBL_UN");
  noneText_ = Lang->GetMsg("LBL_NONE");
}

void TfrmImgProp::FormShow() {
  setWindowTitle(title_ + " [ Image" + QString::asprintf("%03d ", Index + 1) + " ]");
  const FlameInfo* r = Flames ? Flames->Record(Index) : nullptr;
  if (!r) {
    for (QLabel* l : {ui_->lblWidthV, ui_->lblHeightV, ui_->lblTypeV, ui_->lblFileTimeV, ui_->lblTimecodeV, ui_->lblFSizeV})
      l->clear();
    return;
  }
  ui_->lblWidthV->setText(QString::number(r->width));
  ui_->lblHeightV->setText(QString::number(r->height));
  ui_->lblTypeV->setText(TypeName(r->type));
  ui_->lblFileTimeV->setText(FileTimeText(r->sourceTime));
  ui_->lblTimecodeV->setText(TimecodeText(*r));
  ui_->lblFSizeV->setText(FormatSize(r->sourceSize));
}

QString TfrmImgProp::FormatSize(uint32_t n) {
  if (n <= 1024) return QString::number(n) + "B";
  // The tenth is cut to 9: a remainder of 1020 to 1023 bytes would otherwise show ".10".
  if (n <= 1048576) return QString("%1.%2KB").arg(n / 1024).arg(std::min<uint32_t>(n % 1024 / 102, 9));
  return QString("%1.%2MB").arg(n / 1048576).arg(std::min<uint32_t>(n % 1048576 / 104857, 9));
}

QString TfrmImgProp::TypeName(uint16_t type) const {
  switch (type) {
    case 1: case 2: case 3: return "BMP";
    case 4: case 5: case 23: return "JPEG";
    case 6: case 7: return "GIF";
    case 8: case 9: case 10: case 11: case 12: case 13: case 14: return "TIFF";
    case 15: return "PNG";
    case 16: case 17: case 18: return "FPX";
    case 19: return "PCX";
    case kTypeDvFrame: return "DV";
    case kTypeYuvFrame: return "YUV";
    default: return unknownText_;
  }
}

QString TfrmImgProp::FileTimeText(FileTime time) {
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(time / 1000000).toLocalTime();
  const QLocale locale = QLocale::system();
  // The locale's long time without its time zone.
  QString timeFormat = locale.timeFormat(QLocale::LongFormat);
  timeFormat = timeFormat.remove(QRegularExpression("\\bt+\\b")).simplified();
  return locale.toString(local.date(), QLocale::ShortFormat) + " " + locale.toString(local.time(), timeFormat);
}

QString TfrmImgProp::TimecodeText(const FlameInfo& record) const {
  if (record.type != kTypeDvFrame) return noneText_;
  const auto end = std::find(record.timeCode.begin(), record.timeCode.end(), '\0');
  return QString::fromLatin1(record.timeCode.data(), static_cast<qsizetype>(end - record.timeCode.begin()));
}

}  // namespace workspace
