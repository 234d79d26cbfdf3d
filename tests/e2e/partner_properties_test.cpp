// The launcher's partner properties step, called in this process with the
// launcher's state pointed at a fresh directory. The message boxes it shows are
// real ones, read and answered from a second thread of this process, where the
// icon's handle can be compared with the system's error icon.
#include "properties/partner_properties.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/launcher_state.h"
#include "launcher/win32/partner_loading.h"
#include "properties/properties_store.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/test_files.h"

namespace e2e {
namespace {

constexpr std::int32_t kBuildId = 12345678;
// Control id of a message box's icon.
constexpr int kMessageBoxIconId = 0x0440;
constexpr DWORD kPollMs = 5;

struct BoxSeen {
  std::string caption;
  std::string text;
  bool errorIcon = false;
  bool hasOwner = false;
};

std::string WindowText(HWND window) {
  char text[1024];
  const int length = GetWindowTextA(window, text, sizeof(text));
  return std::string(text, length > 0 ? length : 0);
}

// Reads and answers with OK every message box that the thread creating it
// shows while it lives.
class MessageBoxWatcher {
 public:
  MessageBoxWatcher() : watchedThread_(GetCurrentThreadId()), watcher_([this] { Watch(); }) {}
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;
  ~MessageBoxWatcher() {
    stop_ = true;
    watcher_.join();
  }

  std::vector<BoxSeen> Boxes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
  }

 private:
  static BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
    char className[16];
    if (IsWindowVisible(window) && GetClassNameA(window, className, sizeof(className)) > 0 &&
        std::string(className) == "#32770") {
      reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    }
    return TRUE;
  }

  void Watch() {
    const HICON errorIcon = LoadIconA(nullptr, IDI_ERROR);
    std::set<HWND> answered;
    while (!stop_) {
      std::vector<HWND> shown;
      EnumThreadWindows(watchedThread_, CollectBox, reinterpret_cast<LPARAM>(&shown));
      for (HWND box : shown) {
        if (!answered.insert(box).second) continue;
        BoxSeen seen;
        seen.caption = WindowText(box);
        seen.text = WindowText(GetDlgItem(box, 0xFFFF));
        const auto icon = reinterpret_cast<HICON>(
            SendMessageA(GetDlgItem(box, kMessageBoxIconId), STM_GETICON, 0, 0));
        seen.errorIcon = icon != nullptr && icon == errorIcon;
        seen.hasOwner = GetWindow(box, GW_OWNER) != nullptr;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          boxes_.push_back(seen);
        }
        PostMessageA(box, WM_COMMAND, IDOK, 0);
      }
      Sleep(kPollMs);
    }
  }

  const DWORD watchedThread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<BoxSeen> boxes_;
  std::thread watcher_;
};

std::vector<std::string> Texts(const std::vector<BoxSeen>& boxes) {
  std::vector<std::string> texts;
  for (const BoxSeen& box : boxes) texts.push_back(box.text);
  return texts;
}

// The launcher started from `launcherDir_` while the process's current
// directory is another one; the launcher state and the partner store are put
// back afterwards.
class PartnerLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    savedState_ = GetLauncherState();
    savedStore_ = GetPartnerPropertiesStore();
    GetPartnerPropertiesStore() = PropertiesStore();
    GetLauncherState().appDirectory = launcherDir_.path() + "\\";
    GetLauncherState().buildIdentifier = kBuildId;
    GetCurrentDirectoryA(sizeof(savedCurrent_), savedCurrent_);
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere_.path().c_str()));
  }
  void TearDown() override {
    SetCurrentDirectoryA(savedCurrent_);
    GetPartnerPropertiesStore() = savedStore_;
    GetLauncherState() = savedState_;
  }

  // Loads with every box read and answered.
  bool Load() {
    MessageBoxWatcher watcher;
    const bool loaded = LoadPartnerProperties();
    boxes_ = watcher.Boxes();
    return loaded;
  }

  FreshDirectory launcherDir_;
  FreshDirectory elsewhere_;
  std::vector<BoxSeen> boxes_;
  LauncherState savedState_;
  PropertiesStore savedStore_;
  char savedCurrent_[MAX_PATH + 1] = {};
};

TEST_F(PartnerLoading, FindsDocumentThroughAppDirectoryAndFillsLauncherState) {
  ASSERT_TRUE(WriteSignedPartnerProperties(launcherDir_.path(), kDefaultPartnerDocument, kBuildId));
  ASSERT_TRUE(Load());
  EXPECT_TRUE(boxes_.empty()) << boxes_[0].text;
  const LauncherState& state = GetLauncherState();
  EXPECT_EQ(state.prodName, "DemoGame");
  EXPECT_EQ(state.offering, "Trial");
  EXPECT_EQ(state.displayName, "Demo Game");
  EXPECT_EQ(state.registryKey, "Software\\DemoStudio\\DemoGame");
  // What the game channel will answer from.
  EXPECT_EQ(GetPartnerString("ProdName", ""), "DemoGame");
  EXPECT_EQ(GetPartnerString("Publisher", ""), "Demo Studio");
  EXPECT_EQ(GetPartnerPropertiesStore().Integers().at("TrialMinutes"), 60);
}

TEST_F(PartnerLoading, DocumentOnlyInCurrentDirectoryIsNotFound) {
  ASSERT_TRUE(WriteSignedPartnerProperties(elsewhere_.path(), kDefaultPartnerDocument, kBuildId));
  EXPECT_FALSE(Load());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "FATAL ERROR");
  EXPECT_EQ(boxes_[0].text, "Unable to open 'properties\\partner.xml'");
  EXPECT_TRUE(boxes_[0].errorIcon);
  EXPECT_FALSE(boxes_[0].hasOwner);
}

TEST_F(PartnerLoading, DocumentSignedForAnotherBuildShowsInvalidSignature) {
  ASSERT_TRUE(
      WriteSignedPartnerProperties(launcherDir_.path(), kDefaultPartnerDocument, kBuildId + 1));
  EXPECT_FALSE(Load());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "FATAL ERROR");
  EXPECT_EQ(boxes_[0].text, "Invalid partner properties signature!");
  EXPECT_TRUE(boxes_[0].errorIcon);
  EXPECT_FALSE(boxes_[0].hasOwner);
  EXPECT_TRUE(GetPartnerPropertiesStore().Strings().empty());
  EXPECT_EQ(GetLauncherState().prodName, "");
}

TEST_F(PartnerLoading, MissingRequiredKeysShowOneBoxEachAndStillLoad) {
  ASSERT_TRUE(WriteSignedPartnerProperties(launcherDir_.path(),
                                           "<Properties><String id=\"ProdName\">P</String>"
                                           "<String id=\"DisplayName\">D</String></Properties>",
                                           kBuildId));
  ASSERT_TRUE(Load());
  EXPECT_EQ(Texts(boxes_),
            (std::vector<std::string>{"Unable to find properties string 'Offering'",
                                      "Unable to find properties string 'RegistryKey'"}));
  for (const BoxSeen& box : boxes_) {
    EXPECT_EQ(box.caption, "FATAL ERROR");
    EXPECT_TRUE(box.errorIcon);
    EXPECT_FALSE(box.hasOwner);
  }
  EXPECT_EQ(GetLauncherState().prodName, "P");
  EXPECT_EQ(GetLauncherState().offering, "");
  EXPECT_EQ(GetLauncherState().displayName, "D");
  EXPECT_EQ(GetLauncherState().registryKey, "");
}

// A parse error shows no box of its own; the parser's result is kept, and the
// next load replaces it.
TEST_F(PartnerLoading, KeepsTheParseResultWithoutShowingIt) {
  const std::string keys =
      "<String id=\"ProdName\">P</String>\r\n<String id=\"Offering\">O</String>\r\n"
      "<String id=\"DisplayName\">D</String>\r\n<String id=\"RegistryKey\">R</String>\r\n";
  ASSERT_TRUE(WriteSignedPartnerProperties(
      launcherDir_.path(), "<Properties>\r\n" + keys + "<Boolean id=\"Flag\">y</Boolean>\r\n",
      kBuildId));
  ASSERT_TRUE(Load());
  EXPECT_TRUE(boxes_.empty()) << boxes_[0].text;
  EXPECT_FALSE(GetPartnerParseResult().ok);
  EXPECT_EQ(GetPartnerParseResult().line, 6);
  EXPECT_EQ(GetPartnerParseResult().message, "Invalid Boolean Value: 'Y' on Line 6");

  GetPartnerPropertiesStore() = PropertiesStore();
  ASSERT_TRUE(WriteSignedPartnerProperties(launcherDir_.path(),
                                           "<Properties>" + keys + "</Properties>", kBuildId));
  ASSERT_TRUE(Load());
  EXPECT_TRUE(GetPartnerParseResult().ok) << GetPartnerParseResult().message;
  EXPECT_EQ(GetPartnerParseResult().line, 0);
}

TEST_F(PartnerLoading, RequiredStringShowsBoxOnlyForMissingName) {
  GetPartnerPropertiesStore().AddString("Present", "value");
  MessageBoxWatcher watcher;
  EXPECT_EQ(GetRequiredPartnerString("Present"), "value");
  EXPECT_EQ(GetRequiredPartnerString("present"), "");
  EXPECT_EQ(Texts(watcher.Boxes()),
            std::vector<std::string>{"Unable to find properties string 'present'"});
}

}  // namespace
}  // namespace e2e
