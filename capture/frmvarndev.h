// The device window: the serial port, the picture-transfer rate, the play device (the
// camcorder or deck whose transport the panel drives) and, where needed, a separate
// capture unit. It scans the bus, lists the devices it finds, changes a device's ID,
// and keeps the link's settings in the registry.
//
// Two sets of settings: the active ones, which the link runs on, and the edited ones,
// which this window changes; OK makes the edited ones active. The panel uses the window
// without showing it too, to load the settings and check the link at its start.
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "capture/link_settings.h"
#include "platform/form.h"

class QLineEdit;
class QMenu;
class QTableWidget;

namespace Ui {
class frmVarnDev;
}

namespace capture {

class TfrmVarnDev final : public platform::Form {
  Q_OBJECT

 public:
  TfrmVarnDev();
  ~TfrmVarnDev() override;

  LinkSettings Active;
  LinkSettings Edited;
  // The device records, at most 99 (one per ID).
  std::vector<std::unique_ptr<VarnDev>> Records;
  // The ports COM1..COM8 that could be opened, in list order: item k of the port list
  // (k from 1) stands for UsablePorts[k - 1].
  std::vector<int> UsablePorts;
  uint8_t Cancelled = 1;

  void LoadSettings();
  void SaveSettings();
  bool FactorySetup();
  void FillPortList();
  void RefreshDevices(int count);
  void Scan();
  // The record of a grid index; nullptr for none.
  const VarnDev* Record(int index) const;
  // The record index a grid row shows; -1 for the two fixed rows.
  int RecordOfRow(int row) const;
  bool Editing() const { return editing_; }
  // The rate of a rate-list item, and the item of a rate.
  static uint32_t RateOfItem(int item);
  static int ItemOfRate(uint32_t rate);

  // ---- handlers -------------------------------------------------------------------------
  void cbComChange(QObject* sender);
  void cbRateChange(QObject* sender);
  void btnScanClick(QObject* sender);
  void btnVselClick(QObject* sender);
  void btnCselClick(QObject* sender);
  void btnOkClick(QObject* sender);
  void SG1Click(platform::EventArgs& a);
  void SG1MouseDown(platform::EventArgs& a);
  void mnuChIDClick(QObject* sender);

 protected:
  void FormCreate() override;
  void FormShow() override;
  void FormClose(platform::CloseAction& action) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void PortChange(int item);
  // The window without a port: "No port in use", no search, no devices, no rate.
  void ShowNoPort();
  void RebuildGrid();
  void AddRow(int record);
  void Choose(int row, bool play);
  void UpdateControls();
  void SetRateItem(uint32_t rate);
  void SelectPortItem(int port);
  int ItemOfPort(int port) const;
  void ShowChoiceTexts();
  void CommitEdit();
  void EndEdit();
  int RowOfRecord(int record) const;
  QString DeviceText(const VarnDev& d) const;
  void FreeRecords(int count);

  std::unique_ptr<Ui::frmVarnDev> ui_;
  QMenu* pmSG_ = nullptr;
  std::vector<int> rowRecord_;  // record index shown by each grid row
  bool editing_ = false;
  QString oldText_;             // the ID cell's text before editing
  int editRow_ = -1;
  QLineEdit* edID_ = nullptr;
  int busy_ = 0;                // a bus operation is running: the lists do not start another
};

}  // namespace capture
