// SPDX-License-Identifier: Apache-2.0
// The Win32 window against the real core and the simulated fixture on a virtual clock, driven
// through the dialog's own messages: button clicks (BM_CLICK), typed text (WM_SETTEXT and
// EN_CHANGE), list choices (CB_SETCURSEL and CBN_SELCHANGE), keys through the dialog manager, and
// the timer's WM_TIMER, one per 10 ms of the clock. The controls are read back as the operator
// sees them. The modal boxes the window opens are answered from inside their own modal loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/updater_window.h"
#include "sim/simulated_line.h"
#include "station/history.h"
#include "station/window_station.h"
#include "support/simulated_line_set.h"
#include "win32/wide_text.h"
#include "win32/win32_window_host.h"
#include "win32/window_template.h"
#include "window_snapshot.h"

namespace quillmont::win32 {
namespace {

using quillmont::testing::SimulatedLineSet;
using testing::Snapshot;

const std::vector<int> kLockedDuringUpdate = {
    kDiscoverButton,   kIdentifyButton, kStopIdentifyButton, kRefreshButton,
    kSetAddressButton, kUidEdit,        kDmxAddressEdit,     kBaudCombo};

// What a modal box said, and how it was answered.
struct SeenBox {
  std::string caption;
  std::string text;  // a message box's text
  int default_id = 0;
};

// Answers the modal boxes the window opens, in order, each from inside its own modal loop (the
// window's thread polls for it every 5 ms while a modal loop runs).
class ModalAnswers {
 public:
  using Answer = std::function<void(HWND box)>;

  ModalAnswers(HWND window, std::vector<Answer> answers)
      : window_(window), answers_(std::move(answers)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 5, Poll);
  }
  ~ModalAnswers() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  ModalAnswers(const ModalAnswers&) = delete;
  ModalAnswers& operator=(const ModalAnswers&) = delete;

  std::vector<SeenBox> seen;

  // Posted, so that a box the press opens in turn is answered too.
  static Answer Press(int id) {
    return [id](HWND box) {
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    };
  }
  // Types the path into the file-open dialog's name field and opens it.
  static Answer ChooseFile(const std::string& path) {
    return [path](HWND box) {
      std::wstring wide = Widen(path);
      if (!wide.empty() && wide[0] == L'/') {
        wide = L"Z:" + wide;  // Wine's drive for the host's root
      }
      std::replace(wide.begin(), wide.end(), L'/', L'\\');
      for (const int field : {cmb13, edt1}) {
        SetDlgItemTextW(box, field, wide.c_str());
      }
      Press(IDOK)(box);
    };
  }

 private:
  // The enabled, visible dialog box of this thread other than the window: the top of the modal
  // chain.
  HWND OpenBox() const {
    struct Search {
      HWND window;
      HWND found = nullptr;
    } search{window_};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          wchar_t name[16] = {};
          GetClassNameW(hwnd, name, 16);
          if (hwnd != s->window && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
              std::wstring(name) == L"#32770") {
            s->found = hwnd;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  static std::string TextOf(HWND hwnd) {
    wchar_t text[1024] = {};
    GetWindowTextW(hwnd, text, 1024);
    return Narrow(text);
  }

  // The push button that Enter presses.
  static int DefaultButton(HWND box) {
    int found = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        found = GetDlgCtrlID(child);
      }
    }
    return found;
  }

  static void CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
    ModalAnswers* self = current_;
    HWND box = self == nullptr || self->busy_ ? nullptr : self->OpenBox();
    if (box == nullptr || box == self->answered_) {
      return;
    }
    self->answered_ = box;
    self->busy_ = true;
    self->seen.push_back({TextOf(box), TextOf(GetDlgItem(box, 0xFFFF)), DefaultButton(box)});
    if (self->next_ < self->answers_.size()) {
      self->answers_[self->next_++](box);
    } else {
      PostMessageW(box, WM_CLOSE, 0, 0);  // a box nobody expected: seen, and closed
      PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    }
    self->busy_ = false;
  }

  static inline ModalAnswers* current_ = nullptr;
  HWND window_;
  std::vector<Answer> answers_;
  size_t next_ = 0;
  bool busy_ = false;
  HWND answered_ = nullptr;
  UINT_PTR timer_ = 0;
};

// The window on one simulated adapter with one fixture, its updates through the station as the
// program runs them, its settings file and update history in a fresh folder, its timer held so
// that the test runs each tick as a WM_TIMER after 10 ms of the clock.
class Win32WindowTest : public ::testing::Test {
 protected:
  Win32WindowTest() {
    line.AddFixture(line.AddAdapter());
    window.settings_path = (settings / "quillmont.cfg").string();
    run.history = &history;
    host.UseStation(&station);
    host.PrepareToolkit();
  }
  void SetUp() override {
    ASSERT_TRUE(host.Open(window)) << "no window: under Wine, run with an X server (xvfb-run)";
    host.win32_port().StopTimer(window.timer_id);
  }
  ~Win32WindowTest() override {
    host.Close();
    std::filesystem::remove_all(settings);
  }

  HWND Dialog() { return host.dialog().hwnd(); }
  HWND Control(int id) { return GetDlgItem(Dialog(), id); }
  std::string Text(int id) {
    std::wstring text(65536, L'\0');
    text.resize(GetWindowTextW(id == 0 ? Dialog() : Control(id), text.data(), 65536));
    return Narrow(text);
  }
  void Tick(int count = 1) {
    for (int i = 0; i < count; ++i) {
      clock.AdvanceMicros(10000);
      SendMessageW(Dialog(), WM_TIMER, kTickTimerId, 0);
    }
  }
  bool TickUntil(const std::function<bool()>& done, int max_ticks) {
    for (int i = 0; i < max_ticks && !done(); ++i) {
      Tick();
    }
    return done();
  }
  void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
  void Type(int id, const std::string& text) {
    SetWindowTextW(Control(id), Widen(text).c_str());
    SendMessageW(Dialog(), WM_COMMAND, MAKEWPARAM(id, EN_CHANGE),
                 reinterpret_cast<LPARAM>(Control(id)));
  }
  // A key as the dialog's modal loop would take it: through the dialog manager first.
  void Key(HWND focus, WPARAM key) {
    MSG message{focus, WM_KEYDOWN, key, 1, GetTickCount(), {}};
    SetFocus(focus);
    if (!IsDialogMessageW(Dialog(), &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  // A real key press, from the input queue through the dialog manager, as the modal loop runs it.
  void PressKey(HWND focus, WORD key) {
    SetForegroundWindow(Dialog());
    SetFocus(focus);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
    Pump(200);
  }
  // Runs the dialog's message loop for `ms` milliseconds of real time.
  void Pump(DWORD ms) {
    const DWORD until = GetTickCount() + ms;
    while (GetTickCount() < until) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageW(Dialog(), &message)) {
          TranslateMessage(&message);
          DispatchMessageW(&message);
        }
      }
      Sleep(5);
    }
  }
  bool Enabled(const std::vector<int>& ids, bool enabled) {
    return std::all_of(ids.begin(), ids.end(),
                       [&](int id) { return (IsWindowEnabled(Control(id)) != FALSE) == enabled; });
  }
  bool SettingsSaved() { return std::filesystem::exists(window.settings_path); }

  VirtualClock clock;
  SimulatedLine line{clock};
  std::ostringstream diag;
  static std::filesystem::path FreshFolder() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("quillmont-win32-test-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    return folder;
  }

  std::filesystem::path settings = FreshFolder();
  SimulatedLineSet line_set{line, clock};
  UpdateHistory history{(settings / "history.jsonl").string()};
  RunSettings run;
  StationEvents events;
  WindowStation station{line_set, run, events};
  Win32WindowHost host;
  UpdaterWindow window{host.port(), line, clock, diag};
};

TEST_F(Win32WindowTest, DiscoveryFillsTheUidModelVersionAndAddress) {
  EXPECT_EQ(Text(0), "Quillmont - V3.20");
  EXPECT_EQ(Text(kStatusLine), "Not Connected");
  EXPECT_EQ(Text(kUidEdit), "4F 4C 00 00 00 00");
  EXPECT_EQ(SendMessageW(Control(kBaudCombo), CB_GETCOUNT, 0, 0), 14);
  EXPECT_EQ(Text(kBaudCombo), "250000");
  // The template's dialog units, as the dialog font maps them; the bar's strip above the log.
  RECT log{5, 180, 5 + 335, 180 + 96};
  MapDialogRect(Dialog(), &log);
  EXPECT_EQ(host.port().GetControlRect(kLogPane).top, log.top);
  EXPECT_EQ(host.port().GetControlRect(kLogPane).right, log.right);
  EXPECT_EQ(window.progress_rect.top, log.top - 30);
  // The system menu's About entry and icon 128.
  wchar_t entry[64] = {};
  GetMenuStringW(GetSystemMenu(Dialog(), FALSE), kAboutCommand, entry, 64, MF_BYCOMMAND);
  EXPECT_EQ(Narrow(entry), kAboutMenuText);
  EXPECT_NE(SendMessageW(Dialog(), WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(Dialog(), WM_GETICON, ICON_SMALL, 0), 0);

  Tick();
  EXPECT_EQ(Text(kStatusLine), "Connected");
  Tick(5);
  EXPECT_EQ(Text(kStatusLine), "Connected,  Device's Rdm_ID  =  4F 4C 12 34 56 78");
  EXPECT_EQ(Text(kUidEdit), "4F 4C 12 34 56 78");
  Tick(6);
  EXPECT_EQ(Text(kModelLabel), "Quillmont Sim Spot");
  EXPECT_EQ(Text(kVersionLabel), "Quillmont demo app 1.0");
  EXPECT_EQ(Text(kDmxAddressEdit), "1");
  EXPECT_EQ(Text(kFrameView).rfind("21 00F0 Len 2\r\nCC 01 1A ", 0), 0u) << Text(kFrameView);
  EXPECT_EQ(window.manual_uid, 0);
  Snapshot(Dialog(), nullptr, "idle");

  // A label too long for its place ends in an ellipsis; the whole is its tooltip.
  const std::string long_label = "Quillmont Sim Bootloader 1.0 (built for the long-range spot)";
  host.port().SetControlText(kVersionLabel, long_label);
  EXPECT_EQ(host.dialog().ToolTip(kVersionLabel), long_label);
  EXPECT_EQ(Text(kVersionLabel), long_label);
  host.port().SetControlText(kVersionLabel, "1.0");
  EXPECT_EQ(host.dialog().ToolTip(kVersionLabel), "");
}

TEST_F(Win32WindowTest, AWholeUpdateLocksTheCommandsAndEndsAsInTheQtWindow) {
  Tick(12);
  const std::string firmware =
      std::string(QUILLMONT_SOURCE_DIR) + "/examples/fixture-app-1.1.srec2";
  {
    ModalAnswers answers(Dialog(), {ModalAnswers::ChooseFile(firmware)});
    Click(kUpdateButton);
    ASSERT_EQ(answers.seen.size(), 1u) << answers.seen.back().caption << answers.seen.back().text;
    EXPECT_EQ(answers.seen[0].caption, "Load Firmware File");
  }
  ASSERT_TRUE(window.job.running()) << window.log_text;
  EXPECT_EQ(Text(kUpdateButton), "Abort Operation");
  EXPECT_TRUE(Enabled(kLockedDuringUpdate, false));
  EXPECT_TRUE(Enabled({kExitButton, kUpdateButton}, true));

  // A long frame is listed without its header line by the core; the view shows the line.
  ASSERT_TRUE(TickUntil(
      [&] {
        return host.port().GetControlText(kFrameView).size() >= 240 &&
               window.job.sent_count() * 2 >= window.image.loaded_count;
      },
      3000));
  const std::string shown = Text(kFrameView);
  EXPECT_NE(shown.find(" CA55 Len "), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.find("\r\n") + 2), host.port().GetControlText(kFrameView));
  Snapshot(Dialog(), nullptr, "updating");

  // The close box asks first; No is the default, and No leaves the update running.
  {
    ModalAnswers answers(Dialog(), {ModalAnswers::Press(IDNO)});
    SendMessageW(Dialog(), WM_CLOSE, 0, 0);
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].text, kAbortAndExitQuestion);
    EXPECT_EQ(answers.seen[0].default_id, IDNO);
  }
  EXPECT_FALSE(host.dialog().ended());
  EXPECT_TRUE(window.job.running());

  ASSERT_TRUE(TickUntil([&] { return !window.job.running(); }, 5000));
  EXPECT_EQ(Text(kUpdateButton), "Update Firmware");
  EXPECT_TRUE(Enabled(kLockedDuringUpdate, true));
  EXPECT_NE(window.log_text.find(" VERY WELL DONE !"), std::string::npos);
  EXPECT_NE(window.log_text.find("The fixture answers from its new application"), std::string::npos)
      << window.log_text;
  EXPECT_EQ(line.fixture(0).ApplicationLabel(), "Quillmont demo app 1.1");
  ASSERT_TRUE(station.last_result());
  EXPECT_EQ(station.last_result()->verdict, FlashVerdict::kSuccess);
  EXPECT_EQ(history.Read()->records.size(), 1u);
  // The pane, written at most ten times a second, catches up with the log.
  Pump(150);
  EXPECT_EQ(Text(kLogPane), window.log_text);
  ASSERT_TRUE(TickUntil([&] { return Text(kVersionLabel) == "Quillmont demo app 1.1"; }, 20));
  // The whole bar is green.
  UpdateWindow(Dialog());
  HDC dc = GetDC(Dialog());
  EXPECT_EQ(GetPixel(dc, window.progress_rect.right - 10, window.progress_rect.top + 10),
            RGB(0, 255, 0));
  ReleaseDC(Dialog(), dc);
}

TEST_F(Win32WindowTest, ABadUidAndSet0Or513AreRefusedAndSendNothing) {
  Tick(12);
  const RdmUid discovered = window.target_uid;

  for (const char* address : {"0", "513"}) {
    Type(kDmxAddressEdit, address);
    ModalAnswers answers(Dialog(), {[&](HWND box) {
                           Snapshot(Dialog(), box, "refused-set");
                           ModalAnswers::Press(IDOK)(box);
                         }});
    Click(kSetAddressButton);
    ASSERT_EQ(answers.seen.size(), 1u) << address;
    EXPECT_EQ(answers.seen[0].text, kDmxAddressRangeMessage);
  }
  Type(kUidEdit, "01 23 45 67 89");
  EXPECT_EQ(window.manual_uid, 1);
  {
    ModalAnswers answers(Dialog(), {ModalAnswers::Press(IDOK)});
    Click(kIdentifyButton);
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].text, "Invalid RDM ID.");
    EXPECT_EQ(answers.seen[0].caption, "win32_window_test");
  }
  EXPECT_EQ(window.target_uid, discovered);

  Tick(3);
  EXPECT_EQ(line.fixture(0).dmx_start_address(), 1);
  EXPECT_FALSE(line.fixture(0).identifying());
}

TEST_F(Win32WindowTest, TheBaudListTakesARateOnlyWhenOneIsChosen) {
  Tick();
  HWND combo = Control(kBaudCombo);
  // The closed list takes no arrow key, typing or wheel as a choice.
  Key(combo, VK_DOWN);
  SendMessageW(combo, WM_CHAR, '1', 1);
  SendMessageW(combo, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_EQ(Text(kBaudCombo), "250000");
  EXPECT_EQ(line.baud(0), 250000u);
  EXPECT_FALSE(SettingsSaved());

  SendMessageW(combo, CB_SETCURSEL, 12, 0);
  SendMessageW(Dialog(), WM_COMMAND, MAKEWPARAM(kBaudCombo, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  EXPECT_EQ(std::string(window.baud_text.data()), "500000");
  EXPECT_EQ(line.baud(0), 500000u);
  EXPECT_TRUE(SettingsSaved());
}

TEST_F(Win32WindowTest, AboutOnF1TheQuestionMarkAndTheSystemMenu) {
  const std::vector<std::function<void()>> ways = {
      [&] { PressKey(Control(kUidEdit), VK_F1); },
      [&] { Click(kHelpButton); },
      [&] { SendMessageW(Dialog(), WM_SYSCOMMAND, kAboutCommand, 0); },
  };
  for (size_t way = 0; way < ways.size(); ++way) {
    std::string text;
    ModalAnswers answers(Dialog(), {[&](HWND box) {
                           wchar_t shown[64] = {};
                           EnumChildWindows(
                               box,
                               [](HWND child, LPARAM into) -> BOOL {
                                 if (GetWindowTextLengthW(child) > 10) {
                                   GetWindowTextW(child, reinterpret_cast<wchar_t*>(into), 64);
                                 }
                                 return TRUE;
                               },
                               reinterpret_cast<LPARAM>(shown));
                           text = Narrow(shown);
                           Snapshot(Dialog(), box, "about");
                           ModalAnswers::Press(IDCANCEL)(box);
                         }});
    ways[way]();
    ASSERT_EQ(answers.seen.size(), 1u) << "way " << way;
    EXPECT_EQ(answers.seen[0].caption, "Quillmont");
    EXPECT_EQ(text, "Quillmont 3.20");
  }
}

// Escape (also in a multi-line field, which would send the window WM_CLOSE) and Exit end the
// window without saving the settings; the close box saves them.
TEST_F(Win32WindowTest, EscapeAndExitEndWithoutSavingTheCloseBoxSaves) {
  Key(Control(kUidEdit), VK_ESCAPE);
  EXPECT_TRUE(host.dialog().ended());
  EXPECT_EQ(host.dialog().result(), kResultCancel);
  EXPECT_FALSE(SettingsSaved());

  ASSERT_TRUE(host.Open(window));
  Click(kExitButton);
  EXPECT_EQ(host.dialog().result(), kResultOk);
  EXPECT_FALSE(SettingsSaved());

  ASSERT_TRUE(host.Open(window));
  SendMessageW(Dialog(), WM_CLOSE, 0, 0);
  EXPECT_EQ(host.dialog().result(), kResultCancel);
  std::ifstream file(window.settings_path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), {});
  EXPECT_EQ(bytes.size(), 10u);
  EXPECT_EQ(std::string(bytes.c_str()), "250000");
}

}  // namespace
}  // namespace quillmont::win32
