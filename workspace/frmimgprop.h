// The properties of one album picture: its size, source format, the date of its source
// file, its DV time code and its source file's size. A small modal dialog; nothing in it
// can be changed.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "file_name.h"
#include "platform/form.h"

class QLabel;

namespace Ui {
class frmImgProp;
}

namespace workspace {

struct FlameInfo;

class TfrmImgProp : public platform::Form {
  Q_OBJECT

 public:
  TfrmImgProp();
  ~TfrmImgProp() override;

  // The album index of the picture shown; set before each showing.
  int Index = 0;

  // "1024B", "1.5KB", "1.5MB": bytes up to 1024, then kilobytes up to 1048576, then
  // megabytes, with one decimal cut off (never rounded up to the next unit's ten).
  static QString FormatSize(uint32_t bytes);
  // The name of a picture type ("BMP", "JPEG", ... "DV", "YUV"); the "unknown" text for others.
  QString TypeName(uint16_t type) const;
  // A file time as the user's short date, a blank and the time, in local time.
  static QString FileTimeText(FileTime time);
  // The DV time code of a DV frame's record; the "none" text for other pictures.
  QString TimecodeText(const FlameInfo& record) const;

  QLabel* Value(const char* name) const;

 protected:
  void FormCreate() override;
  void FormShow() override;

 private:
  std::unique_ptr<Ui::frmImgProp> ui_;
  QString unknownText_;
  QString noneText_;
  QString title_;
};

}  // namespace workspace
