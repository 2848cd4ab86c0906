// The mail hand-off: the counter, the list and the start of the mail program.
#include "workspace/mail.h"

#include <QApplication>

#include "engine_fixture.h"
#include "platform/registry_store.h"
#include "platform/scripted.h"
#include "workspace/file_lists.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace {

using namespace enginetest;
using platform::MsgIcon;
using platform::RegRoot;
using workspace::ListedPicture;

std::string captureFixture(const std::string& name) {
  return std::string(AD_SOURCE_DIR) + "/tests/data/capture/" + name;
}

void setTimes(std::optional<uint32_t> times) {
  platform::RegistryStore store;
  store.deleteKey(RegRoot::LocalMachine, "Software\\ZEB\\RLM");
  if (!times) return;
  auto key = store.create(RegRoot::LocalMachine, "Software\\ZEB\\RLM");
  ASSERT_TRUE(key && key->writeDword("TIMES", *times));
}

TEST(Mail, CounterReadsZeroWhenMissing) {
  EXPECT_EQ(workspace::GetMailTimes(), 0u) << "no store at all";
  platform::RegistryStore store;
  auto key = store.create(RegRoot::LocalMachine, "Software\\ZEB\\RLM");
  ASSERT_TRUE(key);
  EXPECT_EQ(workspace::GetMailTimes(), 0u) << "a key without the value";
  ASSERT_TRUE(key->writeString("TIMES", std::string("\x03\x00\x00\x00", 4)));
  EXPECT_EQ(workspace::GetMailTimes(), 3u) << "a value of another kind counts by its bytes";
  ASSERT_TRUE(key->writeDword("TIMES", 7));
  EXPECT_EQ(workspace::GetMailTimes(), 7u);
}

class MailHandOff : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lang.ParseCaptions(
        "PrgLevel\tMSG_MAILOVER\tToo many mails.\tSTD\r\n"
        "PrgLevel\tMSG_SAVE_ERR\tCould not save.\tSTD\r\n");
    workspace::Lang = &lang;
    album.count = 0;
    ASSERT_TRUE(engine->LoadImage(pictest::fixture("jpeg_baseline.jpg"), 0));
    album.count = 1;
    ASSERT_TRUE(engine->LoadImage(captureFixture("ntsc_4x3.dvf"), 1));
    album.count = 2;
    ASSERT_TRUE(engine->LoadImage(pictest::fixture("png_rgb.png"), 2));
    for (const Reported& r : mainWindow.received) pictures.push_back({r.type, r.working});
  }
  void TearDown() override {
    workspace::Lang = nullptr;
    EngineTest::TearDown();
  }
  workspace::MLang lang;
  std::vector<ListedPicture> pictures;
  platform::ScriptedMessageBoxes boxes;
  platform::RecordingLauncher launcher;
};

// The list names each picture's file in album order, a DV frame as the BMP beside its
// working copy, every line ending in CR LF; the mail program gets -f and the list.
// With the counter at 3 or more nothing is written or started.
TEST_F(MailHandOff, WritesTheListAndStartsTheMailProgramWhileTheCounterAllows) {
  const std::string list = work + "IMG_LIST.DAT";
  struct Case {
    std::optional<uint32_t> times;
    bool handedOff;
  } cases[] = {{std::nullopt, true}, {2, true}, {3, false}, {40, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.times ? std::to_string(*c.times) : "no key");
    setTimes(c.times);
    ::unlink(list.c_str());
    const size_t startsBefore = launcher.programs().size();
    const size_t boxesBefore = boxes.shown().size();
    workspace::MailPictures(nullptr, *engine, pictures);
    if (c.handedOff) {
      EXPECT_EQ(adtest::readFile(list), work + "zbm1000.jpg\r\n" + work + "zbm1001.bmp\r\n" + work + "zbm1002.png\r\n");
      ASSERT_EQ(launcher.programs().size(), startsBefore + 1);
      EXPECT_EQ(launcher.programs().back().program, platform::appDir() + "ZEB_RLM.EXE");
      EXPECT_EQ(launcher.programs().back().args, (std::vector<std::string>{"-f", list}));
      EXPECT_EQ(boxes.shown().size(), boxesBefore);
    } else {
      EXPECT_FALSE(workspace::FileName(list).Exists());
      EXPECT_EQ(launcher.programs().size(), startsBefore);
      ASSERT_EQ(boxes.shown().size(), boxesBefore + 1);
      EXPECT_EQ(boxes.shown().back().text, "Too many mails.");
      EXPECT_EQ(boxes.shown().back().icon, MsgIcon::Stop);
    }
  }
}

// Pictures whose files cannot be made are left out of the list; with none left nothing
// is started and the user learns it.
TEST_F(MailHandOff, NothingToHandOnIsAnError) {
  const std::string broken = work + "zbm1009.dvf";
  adtest::writeFile(broken, "no frame");
  workspace::MailPictures(nullptr, *engine, {{workspace::CImageOpe::kTypeDv, broken}});
  EXPECT_TRUE(launcher.programs().empty());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "Could not save.");

  workspace::MailPictures(nullptr, *engine, {{workspace::CImageOpe::kTypeDv, broken}, pictures[2]});
  EXPECT_EQ(adtest::readFile(work + "IMG_LIST.DAT"), work + "zbm1002.png\r\n");
  EXPECT_EQ(launcher.programs().size(), 1u);
}

}  // namespace
