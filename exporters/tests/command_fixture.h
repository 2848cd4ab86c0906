// The program's forms with the movie and HTML album entered, as the program makes them,
// on offscreen widgets; pictures read into the album by its engine; every dialog, box,
// chooser and the launcher answered or recorded by script; and a hook on the wait
// window's progress, where a test presses Stop or tries to start another command.
#pragma once

#include <QAction>
#include <QPushButton>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exporters/compressor_dialog.h"
#include "exporters/controls.h"
#include "frames.h"
#include "platform/scripted.h"
#include "platform/testsupport/testsupport.h"

namespace exporters {
class TfrmHTML;
class TfrmMovie;
}  // namespace exporters

namespace extest {

// Colours (as stored, 0x00BBGGRR) and compressors chosen by script; a dialog without a
// queued answer is cancelled.
class ScriptedChoosers final : public exporters::ColourDialogs, public exporters::CompressorDialogs {
 public:
  ScriptedChoosers();
  ~ScriptedChoosers() override;
  std::deque<uint32_t> colours, codecs;
  bool choose(QWidget*, QColor& colour) override;
  bool choose(QWidget*, uint32_t& codec) override;

 private:
  exporters::ColourDialogs* previousColours_;
  exporters::CompressorDialogs* previousCompressors_;
};

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A picture read into the album at its end and selected, from a file written here: a
  // BMP of test frame i, or (jpeg) a JPEG of it. Its working copy's path.
  std::string addPicture(int width, int height, bool jpeg = false);
  // Selects exactly these album pictures.
  void select(std::initializer_list<int> indices);


 public:
  // Runs `action` once, as soon as `form` is next shown (inside its modal loop).
  static void onNextShow(QWidget* form, std::function<void()> action);
  // Clicks a form's button by name.
  static void click(QWidget* form, const char* button);

 protected:
  // The menu command of the main window, by name.
  static QAction* command(const char* name);
  // Runs the movie or HTML album command with the options set by `options` on the shown
  // dialog before OK (nullptr: the dialog is cancelled).
  void runMovie(const std::function<void(exporters::TfrmMovie&)>& options);
  void runHtml(const std::function<void(exporters::TfrmHTML&)>& options);

  // The texts of the message boxes shown.
  std::vector<std::string> boxTexts() const;
  static std::string msg(const char* key);
  // Files of the work folder whose name starts so.
  static int workFiles(const std::string& prefix);
  static fs::path desktop();

  platform::ScriptedMessageBoxes boxes;
  platform::ScriptedFileDialogs files;
  platform::RecordingLauncher launcher;
  ScriptedChoosers choosers;
  // Called with the count on each progress message of the wait window (from 1).
  std::function<void(int)> onProgress;
  int progressMessages = 0;
  // Stop is pressed on that progress message (0: never).
  int stopAt = 0;
};

}  // namespace extest
