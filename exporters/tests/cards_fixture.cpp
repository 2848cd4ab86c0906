#include "cards_fixture.h"

#include <QApplication>
#include <QImage>

#include "exporters/cards.h"
#include "exporters/frmmltimg.h"
#include "exporters/frmtiview.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/flames.h"
#include "workspace/frmautosave.h"
#include "workspace/frmmain.h"
#include "workspace/frmtitle.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

namespace cardstest {

namespace fs = std::filesystem;

FakeVolumes::FakeVolumes() : previous_(exporters::setVolumeList(this)) {}

FakeVolumes::~FakeVolumes() { exporters::setVolumeList(previous_); }

std::string FakeVolumes::Add(const std::string& name, bool removable) {
  const fs::path root = adtest::testDir() / "volumes" / name;
  fs::create_directories(root);
  list.push_back({root.string(), name, removable});
  return root.string();
}

CardsProgram::CardsProgram() : dir(adtest::testDir()) {}

CardsProgram::~CardsProgram() {
  watch_.reset();
  workspace::DestroyForms();
}

void CardsProgram::start() {
  exporters::RegisterCards();
  workspace::CreateForms();
  workspace::frmTitle->Timer1()->setInterval(0);  // the splash closes at once
  workspace::frmTitle->Timer2()->setInterval(0);
  workspace::frmMain->show();
  QApplication::setActiveWindow(workspace::frmMain);
  QCoreApplication::processEvents();
  tiView()->Timer1()->setInterval(0);
}

int CardsProgram::addPicture(int width, int height, QColor colour) {
  const int index = workspace::Flames->Count();
  QImage img(width, height, QImage::Format_RGB32);
  img.fill(colour);
  const fs::path path = dir / "pictures" / ("p" + std::to_string(index) + ".bmp");
  fs::create_directories(path.parent_path());
  EXPECT_TRUE(img.save(QString::fromStdString(path.string()), "BMP"));
  EXPECT_TRUE(workspace::frmMain->OpenFile(path.string(), index));
  return index;
}

void CardsProgram::select(const std::vector<int>& indices) {
  workspace::Flames->SelectAll(false);
  for (int i : indices) workspace::Flames->Cell(i)->Select(true);
  workspace::Flames->CountSelected();
}

exporters::TfrmTiView* CardsProgram::tiView() const { return qobject_cast<exporters::TfrmTiView*>(workspace::frmTiView); }

exporters::TfrmMltImg* CardsProgram::sheet() const { return qobject_cast<exporters::TfrmMltImg*>(workspace::frmMltImg); }

void CardsProgram::soon(std::function<void()> f) { QTimer::singleShot(0, std::move(f)); }

void CardsProgram::closeResultsWhenShown() {
  watch_ = std::make_unique<QTimer>();
  watch_->setInterval(5);
  QObject::connect(watch_.get(), &QTimer::timeout, [this] {
    if (workspace::frmAutoSave && workspace::frmAutoSave->isShownModally()) {
      ++resultsShown;
      workspace::frmAutoSave->closeForm();
    }
  });
  watch_->start();
}

std::vector<std::string> texts(const platform::ScriptedMessageBoxes& boxes) {
  std::vector<std::string> out;
  for (const auto& b : boxes.shown()) out.push_back(b.text);
  return out;
}

}  // namespace cardstest
