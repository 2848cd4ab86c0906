// The program made as at start-up, with the title card dialog and the sheet entered:
// its main window shown, pictures read into the album, questions and file dialogs
// answered by script, and folders of the test standing in for cards.
#pragma once

#include <QColor>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exporters/card_volumes.h"
#include "platform/scripted.h"

namespace exporters {
class TfrmMltImg;
class TfrmTiView;
}  // namespace exporters

namespace cardstest {

// Volumes that are folders of the test: each made when listed.
class FakeVolumes : public exporters::VolumeList {
 public:
  FakeVolumes();
  ~FakeVolumes() override;
  std::vector<exporters::CardVolume> Volumes() override { return list; }
  // Adds a folder of the test as a volume and returns its root.
  std::string Add(const std::string& name, bool removable);
  std::vector<exporters::CardVolume> list;

 private:
  exporters::VolumeList* previous_;
};

class CardsProgram : public ::testing::Test {
 protected:
  CardsProgram();
  ~CardsProgram() override;

  // Makes the forms (the cards' windows among them) and shows the main window.
  void start();
  // A picture of one colour read into the album at its end; its index.
  int addPicture(int width, int height, QColor colour);
  void select(const std::vector<int>& indices);
  exporters::TfrmTiView* tiView() const;
  exporters::TfrmMltImg* sheet() const;
  // Runs `f` once the event loop (a modal one too) next runs.
  static void soon(std::function<void()> f);
  // Closes the results window whenever it is shown modally; counts its showings.
  void closeResultsWhenShown();
  int resultsShown = 0;

  std::filesystem::path dir;
  platform::ScriptedMessageBoxes boxes;
  platform::ScriptedFileDialogs dialogs;
  FakeVolumes volumes;

 private:
  std::unique_ptr<QTimer> watch_;
};

// The texts of the message boxes shown.
std::vector<std::string> texts(const platform::ScriptedMessageBoxes& boxes);

}  // namespace cardstest
