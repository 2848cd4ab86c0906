// The results of a batch of saves: one line per saved file, shown once when the batch
// ends instead of a message for each file. Callers empty `memo`, add a line per file
// with SetInfo, close the wait window and show this window modally.
#pragma once

#include <QString>
#include <memory>

#include "platform/form.h"

class QPlainTextEdit;

namespace Ui {
class frmAutoSave;
}

namespace workspace {

class TfrmAutoSave : public platform::Form {
  Q_OBJECT

 public:
  TfrmAutoSave();
  ~TfrmAutoSave() override;

  // Adds the line of one saved file: its picture number (index + 1, three digits at
  // least) and its name without folder and extension, between the message texts.
  void SetInfo(int number, const QString& name);
  QPlainTextEdit* memo() const;

 protected:
  void FormCreate() override;

 private:
  std::unique_ptr<Ui::frmAutoSave> ui_;
  QString text1_, text2_, text3_;
};

}  // namespace workspace
