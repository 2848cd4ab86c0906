#include "capture/frmvarndev.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <algorithm>

#include "capture/link_objects.h"
#include "capture/varn.h"
#include "platform/cursor.h"
#include "ui_frmvarndev.h"
#include "workspace/frmwait.h"
#include "workspace/lang.h"
#include "workspace/profile.h"
#include "workspace/program.h"

namespace capture {

using platform::Event;
using workspace::Lang;

namespace {
constexpr int kFixedRows = 2;  // titles, and "not connected"
constexpr int kIdColumn = 1;
constexpr uint8_t kCaptureType = 0x3C;
constexpr uint32_t kRates[] = {9600, 19200, 38400, 115200};
constexpr int kWaitMs = 100;

QString twoDigits(int id) { return QString::asprintf("%02d", id); }

QString categoryText(uint8_t t0) {
  switch (t0) {
    case 1: return "VCR";
    case 3: return "VDP";
    case 7: return Lang->GetMsg("SG_MOVIE");
    case 9: return "VCP";
    case 34: return Lang->GetMsg("SG_PRINTER");
    case kCaptureType: return "Capture";
    default: return Lang->GetMsg("SG_UNKNOWN");
  }
}

// Counts a bus operation of the window while it runs.
struct Busy {
  int& n;
  explicit Busy(int& count) : n(count) { ++n; }
  ~Busy() { --n; }
};
}  // namespace

TfrmVarnDev::TfrmVarnDev() : ui_(std::make_unique<Ui::frmVarnDev>()) { ui_->setupUi(this); }

TfrmVarnDev::~TfrmVarnDev() = default;

void TfrmVarnDev::FormCreate() {
  Lang->ApplyCaptions(this);
  setWindowTitle(Lang->GetMsg("TI_DEVSEL"));
  setBorderStyle(platform::BorderStyle::Dialog);
  setFormPosition(platform::FormPosition::OwnerCenter);
  ui_->mnuScan->setText(Lang->GetMsg("MNU_SCAN"));
  ui_->mnuChID->setText(Lang->GetMsg("MNU_IDCH"));
  ui_->cbCom->setItemText(0, Lang->GetMsg("CB_NOUSE"));
  pmSG_ = new QMenu(this);
  pmSG_->setObjectName("pmSG");
  pmSG_->addAction(ui_->mnuScan);
  pmSG_->addAction(ui_->mnuChID);
  ui_->SG1->setRowCount(kFixedRows);
  const QString titles[] = {"No.", "ID", Lang->GetMsg("LB_CAT"), Lang->GetMsg("LB_NAME")};
  for (int c = 0; c < 4; ++c) ui_->SG1->setItem(0, c, new QTableWidgetItem(titles[c]));
  ui_->SG1->setItem(1, 3, new QTableWidgetItem(Lang->GetMsg("LB_NOTCONN")));
  ui_->SG1->setColumnWidth(0, 40);
  ui_->SG1->setColumnWidth(1, 40);
  ui_->SG1->setColumnWidth(2, 110);
  rowRecord_.assign(kFixedRows, -1);
  connect(ui_->SG1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { pmSG_->popup(ui_->SG1->viewport()->mapToGlobal(p)); });
  connect(pmSG_, &QMenu::aboutToShow, this, [this] { ui_->mnuChID->setEnabled(ui_->SG1->currentRow() >= kFixedRows); });
  bindHandlers({
      {"cbCom", Event::Change, handler(&TfrmVarnDev::cbComChange)},
      {"cbRate", Event::Change, handler(&TfrmVarnDev::cbRateChange)},
      {"btnScan", Event::Click, handler(&TfrmVarnDev::btnScanClick)},
      {"mnuScan", Event::Click, handler(&TfrmVarnDev::btnScanClick)},
      {"btnVsel", Event::Click, handler(&TfrmVarnDev::btnVselClick)},
      {"btnCsel", Event::Click, handler(&TfrmVarnDev::btnCselClick)},
      {"btnOk", Event::Click, handler(&TfrmVarnDev::btnOkClick)},
      {"mnuChID", Event::Click, handler(&TfrmVarnDev::mnuChIDClick)},
      {"SG1", Event::Click, handler(&TfrmVarnDev::SG1Click)},
      {"SG1", Event::MouseDown, handler(&TfrmVarnDev::SG1MouseDown)},
  });
}

void TfrmVarnDev::FormShow() {
  Cancelled = 1;
  LoadSettings();
}

// ---- settings ------------------------------------------------------------------------------------

uint32_t TfrmVarnDev::RateOfItem(int item) { return kRates[std::clamp(item, 0, 3)]; }

int TfrmVarnDev::ItemOfRate(uint32_t rate) {
  for (int i = 0; i < 3; ++i)
    if (kRates[i] == rate) return i;
  return 3;
}

void TfrmVarnDev::SetRateItem(uint32_t rate) {
  QSignalBlocker quiet(ui_->cbRate);
  ui_->cbRate->setCurrentIndex(ItemOfRate(rate));
}

int TfrmVarnDev::ItemOfPort(int port) const {
  auto it = std::find(UsablePorts.begin(), UsablePorts.end(), port);
  return it == UsablePorts.end() ? 0 : int(it - UsablePorts.begin()) + 1;
}

void TfrmVarnDev::SelectPortItem(int port) {
  QSignalBlocker quiet(ui_->cbCom);
  ui_->cbCom->setCurrentIndex(ItemOfPort(port));
}

void TfrmVarnDev::FreeRecords(int count) {
  Records.clear();
  for (int i = 0; i < count; ++i) Records.push_back(std::make_unique<VarnDev>());
}

void TfrmVarnDev::LoadSettings() {
  StoredLink s = LoadLinkSettings(*VarnReg, [](const std::string& key) -> std::optional<int32_t> {
    int32_t v = 0;
    if (workspace::Profile && workspace::Profile->ReadInt("INIT", key, v)) return v;
    return std::nullopt;
  });
  Edited = s.settings;
  FreeRecords(Edited.deviceCount);
  for (size_t i = 0; i < s.ids.size(); ++i) Records[i]->id = s.ids[i];
  VarnIO->Close();
  SetRateItem(Edited.rate);
  // A stored port that cannot be used now shows as "not used" and is kept as it is; the
  // window is then the one of no port, whatever an earlier port left enabled.
  const int item = ItemOfPort(Edited.port);
  SelectPortItem(Edited.port);
  if (item > 0) PortChange(item);
  Edited.playIndex = Edited.captureIndex = -1;
  for (size_t i = 0; i < Records.size(); ++i) {
    if (Edited.playId && Records[i]->id == Edited.playId && Edited.playIndex < 0) Edited.playIndex = int(i);
    if (Edited.captureId && Records[i]->id == Edited.captureId && Edited.captureIndex < 0) Edited.captureIndex = int(i);
  }
  ShowChoiceTexts();
  if (item == 0) ShowNoPort();
}

void TfrmVarnDev::SaveSettings() {
  std::vector<uint8_t> ids;
  for (const auto& r : Records) ids.push_back(r->id);
  Edited.deviceCount = uint8_t(Records.size());
  SaveLinkSettings(*VarnReg, Edited, ids);
}

void TfrmVarnDev::FillPortList() {
  VarnIO->Close();
  QSignalBlocker quiet(ui_->cbCom);
  ui_->cbCom->clear();
  ui_->cbCom->addItem(Lang->GetMsg("CB_NOUSE"));
  UsablePorts.clear();
  for (int n = 1; n <= 8; ++n) {
    if (!VarnIO->Open(n)) continue;
    UsablePorts.push_back(n);
    VarnIO->Close();
    ui_->cbCom->addItem(QString("COM%1").arg(n));
  }
  ui_->cbCom->setMaxVisibleItems(ui_->cbCom->count());
}

bool TfrmVarnDev::FactorySetup() {
  Edited = LinkSettings{};
  Edited.port = 1;
  Edited.playId = 6;
  Edited.deviceCount = 1;
  Edited.rate = kDefaultRate;
  FreeRecords(1);
  VarnIO->Close();
  SelectPortItem(Edited.port);
  SetRateItem(Edited.rate);
  PortChange(ui_->cbCom->currentIndex());
  DevSys->IsPresent(6);
  if (!DevSys->EnsureOn(6)) {
    Edited.deviceCount = 0;
    Edited.playId = 0;
    return false;
  }
  VarnDev& d = *Records[0];
  d.present = 1;
  d.id = 6;
  Edited.deviceCount = 1;
  DevSys->Identify(d);
  VarnIO->Pause(kWaitMs);
  // The refresh of the port change found no device yet and chose none: the camcorder
  // found now is the play device.
  Edited.playId = 6;
  Edited.captureId = 0;
  RebuildGrid();
  SaveSettings();
  return true;
}

// ---- the port and the devices -------------------------------------------------------------------

void TfrmVarnDev::PortChange(int item) {
  VarnIO->Close();
  if (item <= 0) {
    ShowNoPort();
    Edited.port = 0;
    return;
  }
  const int port = item <= int(UsablePorts.size()) ? UsablePorts[size_t(item - 1)] : 0;
  if (port && VarnIO->Open(port)) {
    VarnIO->SetupVarn();
    ui_->btnScan->setEnabled(true);
    Edited.port = uint8_t(port);
    RefreshDevices(Edited.deviceCount);
    return;
  }
  SelectPortItem(Edited.port);
}

void TfrmVarnDev::ShowNoPort() {
  ui_->btnScan->setEnabled(false);
  ui_->edVdev->setText(Lang->GetMsg("LB_CANTUSE"));
  ui_->SG1->setRowCount(kFixedRows);
  rowRecord_.assign(kFixedRows, -1);
  ui_->cbRate->setEnabled(false);
  ui_->lblRate->setEnabled(false);
}

void TfrmVarnDev::RefreshDevices(int count) {
  Busy busy(busy_);
  VarnIO->Open(Edited.port);
  VarnIO->SetupVarn();
  VarnIO->Transact(CVarnIO::Prepare(varn::kBroadcastId, varn::kPresence));
  VarnIO->PurgeRx();
  VarnIO->Pause(kWaitMs);
  for (int i = 0; i < count && i < int(Records.size()); ++i) {
    VarnDev& d = *Records[size_t(i)];
    DevSys->IsPresent(d.id);
    if (DevSys->EnsureOn(d.id)) {
      d.present = 1;
      DevSys->Identify(d);
    } else {
      d.present = 0;
    }
    VarnIO->Pause(kWaitMs);
  }
  RebuildGrid();
}

void TfrmVarnDev::Scan() {
  Busy busy(busy_);
  platform::showHourglass();
  workspace::TfrmWait* wait = workspace::frmWait;
  if (wait) {
    wait->ShowDirect(Lang->GetMsg("MB_TI_SCAN"), true, true);
    wait->Gauge1()->setValue(0);
    wait->btnAbort()->setEnabled(true);
  }
  Records.clear();
  ui_->SG1->setRowCount(kFixedRows);
  rowRecord_.assign(kFixedRows, -1);
  DevSys->IsPresent(1);
  for (int id = 1; id <= kMaxDevices; ++id) {
    if (DevSys->EnsureOn(uint32_t(id))) {
      auto d = std::make_unique<VarnDev>();
      d->present = 1;
      d->id = uint8_t(id);
      DevSys->Identify(*d);
      Records.push_back(std::move(d));
      AddRow(int(Records.size()) - 1);
      VarnIO->Pause(kWaitMs);
    }
    if ((id + 1) % 10 == 0 && wait) wait->Gauge1()->setValue(id + 1);
    // Stop must be seen between two IDs.
    ProcessMessages();
    if (wait && wait->AbortFlag) break;
  }
  Edited.deviceCount = uint8_t(Records.size());
  if (wait) wait->CloseIfShown();
  RebuildGrid();
  platform::restoreCursor();
}

const VarnDev* TfrmVarnDev::Record(int index) const {
  return index >= 0 && index < int(Records.size()) ? Records[size_t(index)].get() : nullptr;
}

int TfrmVarnDev::RecordOfRow(int row) const { return row >= 0 && row < int(rowRecord_.size()) ? rowRecord_[size_t(row)] : -1; }

int TfrmVarnDev::RowOfRecord(int record) const {
  auto it = std::find(rowRecord_.begin(), rowRecord_.end(), record);
  return record >= 0 && it != rowRecord_.end() ? int(it - rowRecord_.begin()) : -1;
}

QString TfrmVarnDev::DeviceText(const VarnDev& d) const {
  return "ID:" + twoDigits(d.id) + " " + QString::fromLatin1(d.name);
}

void TfrmVarnDev::AddRow(int record) {
  const VarnDev& d = *Records[size_t(record)];
  const int row = ui_->SG1->rowCount();
  ui_->SG1->setRowCount(row + 1);
  rowRecord_.push_back(record);
  const QString cells[] = {QString::number(record + 1), twoDigits(d.id), categoryText(d.type[0]),
                           QString::fromLatin1(d.name)};
  for (int c = 0; c < 4; ++c) ui_->SG1->setItem(row, c, new QTableWidgetItem(cells[c]));
}

void TfrmVarnDev::RebuildGrid() {
  ui_->SG1->setRowCount(kFixedRows);
  rowRecord_.assign(kFixedRows, -1);
  int play = -1, capture = -1, keptPlay = -1, keptCapture = -1;
  for (size_t i = 0; i < Records.size(); ++i) {
    const VarnDev& d = *Records[i];
    if (!d.present) continue;
    AddRow(int(i));
    const int row = ui_->SG1->rowCount() - 1;
    if (capture < 0 && d.type[0] == kCaptureType) capture = row;
    if (play < 0 && (d.type[0] == 1 || d.type[0] == 7)) play = row;
    // The devices chosen before stay chosen while they are there.
    if (keptPlay < 0 && Edited.playId && d.id == Edited.playId && VarnSys::IsMovie(d)) keptPlay = row;
    if (keptCapture < 0 && Edited.captureId && d.id == Edited.captureId && d.type[0] == kCaptureType) keptCapture = row;
  }
  Choose(keptPlay >= 0 ? keptPlay : play >= 0 ? play : 1, true);
  Choose(keptCapture >= 0 ? keptCapture : capture >= 0 ? capture : 1, false);
  const int current = RowOfRecord(Edited.playIndex);
  ui_->SG1->setCurrentCell(current >= 0 ? current : 1, 0);
}

// ---- choosing devices ---------------------------------------------------------------------------

void TfrmVarnDev::Choose(int row, bool play) {
  const int record = RecordOfRow(row);
  const VarnDev* d = Record(record);
  const uint8_t id = d ? d->id : 0;
  if (play) {
    Edited.playId = id;
    Edited.playIndex = d ? record : -1;
  } else {
    Edited.captureId = id;
    Edited.captureIndex = d ? record : -1;
  }
  ShowChoiceTexts();
  UpdateControls();
}

void TfrmVarnDev::ShowChoiceTexts() {
  auto text = [&](uint8_t id, int index) {
    if (const VarnDev* d = Record(index)) return DeviceText(*d);
    return id ? "ID:" + twoDigits(id) + " " : Lang->GetMsg("TX_NODEV");
  };
  ui_->edVdev->setText(text(Edited.playId, Edited.playIndex));
  ui_->edCdev->setText(text(Edited.captureId, Edited.captureIndex));
}

void TfrmVarnDev::UpdateControls() {
  const VarnDev* play = Record(Edited.playIndex);
  bool rate = false, capture = false;
  if (play && (play->flags & 4)) {
    // The play device captures itself.
    Edited.rate = RateForDevices(Edited.rate, play, false);
    Edited.captureId = 0;
    Edited.captureIndex = -1;
    rate = true;
  } else if (Edited.captureIndex >= 0) {
    Edited.rate = RateForDevices(Edited.rate, play, true);
    rate = capture = true;
  }
  SetRateItem(Edited.rate);
  ui_->cbRate->setEnabled(rate);
  ui_->lblRate->setEnabled(rate);
  ui_->btnCsel->setEnabled(capture);
  ui_->edCdev->setEnabled(capture);
  ShowChoiceTexts();
}

void TfrmVarnDev::cbComChange(QObject*) {
  if (busy_) return;
  PortChange(ui_->cbCom->currentIndex());
}

void TfrmVarnDev::cbRateChange(QObject*) {
  const VarnDev* play = Record(Edited.playIndex);
  const uint32_t chosen = RateOfItem(ui_->cbRate->currentIndex());
  Edited.rate = play ? RateForDevices(chosen, play, Edited.captureIndex >= 0) : chosen;
  if (Edited.rate != chosen) SetRateItem(Edited.rate);
}

void TfrmVarnDev::btnScanClick(QObject*) {
  if (busy_ || editing_ || !ui_->btnScan->isEnabled()) return;
  Scan();
}

void TfrmVarnDev::btnVselClick(QObject*) { Choose(ui_->SG1->currentRow(), true); }

void TfrmVarnDev::btnCselClick(QObject*) { Choose(ui_->SG1->currentRow(), false); }

void TfrmVarnDev::SG1Click(platform::EventArgs&) {
  const VarnDev* d = Record(RecordOfRow(ui_->SG1->currentRow()));
  if (!d) {
    ui_->btnVsel->setEnabled(true);
    ui_->btnCsel->setEnabled(true);
    return;
  }
  ui_->btnVsel->setEnabled(VarnSys::IsMovie(*d) && d->id != Edited.playId);
  ui_->btnCsel->setEnabled(d->type[0] == kCaptureType && d->id != Edited.captureId);
}

void TfrmVarnDev::SG1MouseDown(platform::EventArgs& a) {
  if (editing_) EndEdit();
  if (a.button == Qt::RightButton) {
    const int row = ui_->SG1->rowAt(a.pos.y());
    if (row >= 0) ui_->SG1->setCurrentCell(row, 0);
  }
}

// ---- changing a device's ID ---------------------------------------------------------------------

void TfrmVarnDev::mnuChIDClick(QObject*) {
  const int row = ui_->SG1->currentRow();
  if (editing_ || busy_ || row < kFixedRows) return;
  editing_ = true;
  editRow_ = row;
  oldText_ = ui_->SG1->item(row, kIdColumn)->text();
  ui_->SG1->setSelectionBehavior(QAbstractItemView::SelectItems);
  edID_ = new QLineEdit(oldText_);
  edID_->setObjectName("edID");
  edID_->setMaxLength(2);
  // Digits only: a character that is not a digit is not taken.
  edID_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,2}"), edID_));
  edID_->installEventFilter(this);
  ui_->SG1->setCellWidget(row, kIdColumn, edID_);
  edID_->selectAll();
  edID_->setFocus();
  ui_->btnScan->setEnabled(false);
  ui_->btnOk->setEnabled(false);
  ui_->cbCom->setEnabled(false);
}

void TfrmVarnDev::CommitEdit() {
  bool number = false;
  const int id = edID_->text().toInt(&number);
  const int record = RecordOfRow(editRow_);
  // IDs run from 1 to 99; 0 would make the device unreachable.
  if (!number || id < 1 || id > kMaxDevices || record < 0) return;
  for (size_t i = 0; i < Records.size(); ++i)
    if (int(i) != record && Records[i]->id == id) return;
  VarnDev& d = *Records[size_t(record)];
  if (d.id != oldText_.toInt()) return;
  Busy busy(busy_);
  if (!DevSys->ChangeId(d.id, uint32_t(id))) return;
  d.id = uint8_t(id);
  oldText_ = twoDigits(id);
  ui_->SG1->item(editRow_, kIdColumn)->setText(oldText_);
  Choose(editRow_, true);
  VarnReg->WriteDword("INIT", "ID" + std::to_string(record), uint32_t(id));
}

void TfrmVarnDev::EndEdit() {
  if (!editing_) return;
  editing_ = false;
  ui_->SG1->removeCellWidget(editRow_, kIdColumn);  // deletes the editor
  edID_ = nullptr;
  if (QTableWidgetItem* cell = ui_->SG1->item(editRow_, kIdColumn)) cell->setText(oldText_);
  ui_->SG1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ui_->SG1->setCurrentCell(editRow_, 0);
  ui_->btnScan->setEnabled(Edited.port != 0);
  ui_->btnOk->setEnabled(true);
  ui_->cbCom->setEnabled(true);
}

bool TfrmVarnDev::eventFilter(QObject* watched, QEvent* e) {
  if (edID_ && watched == edID_ && e->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      CommitEdit();
      EndEdit();
      return true;
    }
    if (key == Qt::Key_Escape || key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right) {
      EndEdit();
      return true;
    }
  }
  return Form::eventFilter(watched, e);
}

// ---- closing ------------------------------------------------------------------------------------

void TfrmVarnDev::btnOkClick(QObject*) {
  EndEdit();
  Edited.rate = RateOfItem(ui_->cbRate->currentIndex());
  SaveSettings();
  if (Edited.port) VarnIO->Open(Edited.port);
  Active = Edited;
  Cancelled = 0;
  setModalResult(platform::mrOk);
}

void TfrmVarnDev::FormClose(platform::CloseAction&) {
  EndEdit();
  if (!Cancelled) return;
  VarnIO->Close();
  if (Active.port >= 1 && Active.port <= 8) VarnIO->Open(Active.port);
}

}  // namespace capture
