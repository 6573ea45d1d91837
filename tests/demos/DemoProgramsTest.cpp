// The built programs on a virtual display: copies of Lantern and Nightfall
// with pictures bound, their windows read back as screenshots, input sent
// through the X test extension. Each test waits for window states, never
// for a fixed time (except to see that nothing appears for over a second).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "DisplaySupport.h"
#include "TestSupport.h"

namespace limpet::test {
namespace {

constexpr TRgb kBtnFace{240, 240, 240};
constexpr TRgb kWhite{255, 255, 255};
const char* const kLanternCaption = "JPEG Viewer - self-extract and view JPEG files";

const TPicture kFirst{240, 160, {kRed, kGreen, kBlue, kYellow}};
const TPicture kSecond{160, 240, {kMagenta, kCyan, kOrange, kPurple}};
const TPicture kLarge{640, 480, {kOrange, kBlue, kGreen, kMagenta}};

class DemoProgramsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/bootstrap installs it)";
    display = std::make_unique<TVirtualDisplay>();
  }

  void TearDown() override {
    if (HasFailure() && display) {
      const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
      const std::string path = std::string(LIMPET_TEST_BINARY_DIR) + "/demos-" + name + ".ppm";
      display->Screenshot().SavePpm(path);
      std::cerr << "screen at the failure: " << path << "\n";
      if (process) std::cerr << "program output:\n" << Output() << "\n";
    }
    process.reset();
  }

  // A copy of the built program in the temporary directory.
  std::string Copy(const char* built, const std::string& name) {
    const std::string path = dir.File(name);
    std::filesystem::copy_file(built, path, std::filesystem::copy_options::overwrite_existing);
    chmod(path.c_str(), 0755);
    return path;
  }

  void Start(const std::string& exe, const std::vector<std::string>& args = {}) {
    // No session bus: SDL then does not try to start one (there is no
    // dbus-launch here, and libdbus leaks a buffer on that failing path).
    process = std::make_unique<TProcess>(
        exe, args,
        std::vector<std::string>{display->DisplayEnv(), "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir.File("no-bus")},
        dir.File("output"));
  }

  // Everything the program wrote to standard output and standard error.
  std::string Output() const { return ReadFileBytes(dir.File("output")); }

  ::testing::AssertionResult EndsCleanly() {
    const auto status = process->WaitExit(kStateTimeout);
    if (!status) return ::testing::AssertionFailure() << "the program did not end";
    if (*status != 0) return ::testing::AssertionFailure() << "the program " << DescribeStatus(*status);
    return ::testing::AssertionSuccess();
  }

  // Waits for the viewable window with this title whose screen passes
  // `check`; the window, or nothing after the timeout.
  std::optional<TWindowInfo> WaitForWindow(const std::string& title,
                                           const std::function<bool(const TScreenshot&, const TWindowInfo&)>& check) {
    std::optional<TWindowInfo> window;
    WaitFor([&] {
      window = display->FindWindow(title);
      return window && check(display->Screenshot(), *window);
    });
    if (window && !check(display->Screenshot(), *window)) window.reset();
    return window;
  }

  // Waits for the message box of `program`, checks that the main window
  // (unless `mainCaption` is empty) is not open yet, and presses Return in
  // the box.
  void DismissMessageBox(const std::string& program, const std::string& mainCaption) {
    std::optional<TWindowInfo> box;
    ASSERT_TRUE(WaitFor([&] { return (box = display->FindWindow(program)).has_value(); })) << "no message box";
    if (!mainCaption.empty()) {
      EXPECT_FALSE(display->FindWindow(mainCaption)) << "the main window opened before the message box closed";
    }
    display->Focus(*box);
    display->XDoTool({"key", "Return"});
    ASSERT_TRUE(WaitFor([&] { return !display->FindWindow(program); })) << "the message box stays";
  }

  TTempDir dir;
  std::unique_ptr<TVirtualDisplay> display;
  std::unique_ptr<TProcess> process;
};

// ------------------------------------------------------------------ Lantern

// The picture drawn with its top-left corner at (x, y), clipped to `clip`
// and the screen, within JPEG's tolerance.
bool ShowsPictureAt(const TScreenshot& shot, const TPicture& picture, int32_t x, int32_t y, const TWindowInfo& clip) {
  for (const auto& [px, py] : picture.SamplePoints()) {
    const int32_t sx = x + px;
    const int32_t sy = y + py;
    if (sx < clip.x || sy < clip.y || sx >= clip.x + clip.width || sy >= clip.y + clip.height) continue;
    if (!Near(shot.At(sx, sy), picture.At(px, py), kJpegTolerance)) return false;
  }
  return true;
}

bool FilledWith(const TScreenshot& shot, const TWindowInfo& w, TRgb colour) {
  for (int32_t y = w.y + 2; y < w.y + w.height; y += 37) {
    for (int32_t x = w.x + 2; x < w.x + w.width; x += 41) {
      if (!(shot.At(x, y) == colour)) return false;
    }
  }
  return true;
}

// Shows the first bound picture unscaled at the client area's top-left
// corner, cut off at the window's edges; the background colour elsewhere.
TEST_F(DemoProgramsTest, LanternShowsTheFirstPicture) {
  struct TCase {
    const char* what;
    const char* program;
    const TPicture* picture;  // the first bound picture
    std::vector<TBoundFile> files;
    TWindowInfo window;
  };
  const TCase cases[] = {
      {"normal window, compressed and encrypted", LIMPET_LANTERN_NORMAL_PATH, &kFirst,
       {{kFirst.Jpeg(), "first.jpg", 9, "KelpForest"}, {kSecond.Jpeg(), "second.jpg"}}, {0, 196, 113, 544, 375}},
      {"maximised, stored", LIMPET_LANTERN_PATH, &kFirst,
       {{kFirst.Jpeg(), "first.jpg", 0, ""}, {kSecond.Jpeg(), "second.jpg"}}, {0, 0, 0, 800, 600}},
      {"larger than the window", LIMPET_LANTERN_NORMAL_PATH, &kLarge, {{kLarge.Jpeg(), "large.jpg"}},
       {0, 196, 113, 544, 375}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string exe = Copy(c.program, "lantern-" + std::to_string(&c - cases));
    BindFiles(exe, dir.Path(), c.files);
    Start(exe);
    const TPicture& picture = *c.picture;
    const auto window = WaitForWindow(kLanternCaption, [&](const TScreenshot& shot, const TWindowInfo& w) {
      return ShowsPictureAt(shot, picture, w.x, w.y, w);
    });
    ASSERT_TRUE(window) << "the picture did not appear";
    EXPECT_EQ(window->x, c.window.x);
    EXPECT_EQ(window->y, c.window.y);
    EXPECT_EQ(window->width, c.window.width);
    EXPECT_EQ(window->height, c.window.height);
    const TScreenshot shot = display->Screenshot();
    const int32_t right = window->x + window->width - 1;
    const int32_t bottom = window->y + window->height - 1;
    if (picture.width < window->width) {
      // Beside and below the picture: the background.
      EXPECT_EQ(shot.At(window->x + picture.width + 20, window->y + 10), kBtnFace);
      EXPECT_EQ(shot.At(window->x + 10, window->y + picture.height + 20), kBtnFace);
      EXPECT_EQ(shot.At(right, bottom), kBtnFace);
    } else {
      // The window's last pixel still shows the picture; past it the screen
      // is untouched.
      EXPECT_TRUE(Near(shot.At(right, bottom), picture.At(right - window->x, bottom - window->y), kJpegTolerance));
      EXPECT_EQ(shot.At(right + 5, window->y + 100), kWhite);
      EXPECT_EQ(shot.At(window->x + 100, bottom + 5), kWhite);
    }
    process->Signal(SIGTERM);
    EXPECT_TRUE(EndsCleanly());
    EXPECT_EQ(Output(), "");
  }
}

// A start-up error is shown in a message box (and on standard error) before
// the window opens; the window then stays empty.
TEST_F(DemoProgramsTest, LanternStartUpErrors) {
  struct TCase {
    const char* what;
    bool bind;
    std::vector<TBoundFile> files;
    std::string message;  // empty: no message box
  };
  const TCase cases[] = {
      {"no bound data", false, {}, "Invalid signature in EXE file, cannot extract files from it!"},
      {"wrong password", true, {{kFirst.Jpeg(), "first.jpg", 6, "Lighthouse"}}, "Incorrect password for the file entry."},
      {"empty list", true, {}, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string exe = Copy(LIMPET_LANTERN_NORMAL_PATH, "lantern-" + std::to_string(&c - cases));
    if (c.bind) BindFiles(exe, dir.Path(), c.files);
    Start(exe);
    if (!c.message.empty()) {
      ASSERT_NO_FATAL_FAILURE(DismissMessageBox("Lantern", kLanternCaption));
      EXPECT_EQ(Output(), "Lantern: " + c.message + "\n");
    }
    const auto window = WaitForWindow(kLanternCaption, [&](const TScreenshot& shot, const TWindowInfo& w) {
      return FilledWith(shot, w, kBtnFace);
    });
    ASSERT_TRUE(window) << "no empty window";
    EXPECT_FALSE(display->FindWindow("Lantern"));
    process->Signal(SIGTERM);
    EXPECT_TRUE(EndsCleanly());
    EXPECT_EQ(Output(), c.message.empty() ? "" : "Lantern: " + c.message + "\n");
  }
}

// ---------------------------------------------------------------- Nightfall

// Where the screen saver puts a picture: centred on the screen.
int32_t CentredX(const TPicture& p) { return (TVirtualDisplay::kWidth - p.width) / 2; }
int32_t CentredY(const TPicture& p) { return (TVirtualDisplay::kHeight - p.height) / 2; }

// "unpainted", "black", "first", "second" or "other".
std::string NightfallState(const TScreenshot& shot) {
  const TWindowInfo screen{0, 0, 0, TVirtualDisplay::kWidth, TVirtualDisplay::kHeight};
  if (shot.At(5, 5) == kWhite) return "unpainted";
  if (!(shot.At(5, 5) == kBlack) || !(shot.At(795, 595) == kBlack)) return "other";
  if (ShowsPictureAt(shot, kFirst, CentredX(kFirst), CentredY(kFirst), screen)) return "first";
  if (ShowsPictureAt(shot, kSecond, CentredX(kSecond), CentredY(kSecond), screen)) return "second";
  for (const TPicture* p : {&kFirst, &kSecond}) {
    for (const auto& [x, y] : p->SamplePoints()) {
      if (!(shot.At(CentredX(*p) + x, CentredY(*p) + y) == kBlack)) return "other";
    }
  }
  return "black";
}

class NightfallTest : public DemoProgramsTest {
 protected:
  // Starts a copy with the two pictures bound and waits for its black
  // window over the whole screen.
  TWindowInfo StartShow(const std::vector<std::string>& args = {}) {
    const std::string exe = Copy(LIMPET_NIGHTFALL_PATH, "nightfall");
    BindFiles(exe, dir.Path(), {{kFirst.Jpeg(), "first.jpg", 9, "KelpForest"}, {kSecond.Jpeg(), "second.jpg", 0, ""}});
    Start(exe, args);
    return WaitForBlack();
  }

  TWindowInfo WaitForBlack() {
    const auto window = WaitForWindow("MainForm", [](const TScreenshot& shot, const TWindowInfo&) {
      return NightfallState(shot) == "black";
    });
    EXPECT_TRUE(window) << "no black window";
    return window.value_or(TWindowInfo{});
  }

  std::string State() { return NightfallState(display->Screenshot()); }
};

// Black over the whole screen for the first second, then one picture a
// second in directory order, centred; after the last the first again.
TEST_F(NightfallTest, ShowsBlackThenThePicturesInTurn) {
  const std::string exe = Copy(LIMPET_NIGHTFALL_PATH, "nightfall");
  BindFiles(exe, dir.Path(), {{kFirst.Jpeg(), "first.jpg", 9, "KelpForest"}, {kSecond.Jpeg(), "second.jpg", 0, ""}});
  Start(exe);
  std::vector<std::string> seen;
  WaitFor([&] {
    const std::string state = State();
    if (state != "unpainted" && (seen.empty() || seen.back() != state)) seen.push_back(state);
    return seen.size() >= 4;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"black", "first", "second", "first"}));
  const auto window = display->FindWindow("MainForm");
  ASSERT_TRUE(window);
  EXPECT_EQ(window->x, 0);
  EXPECT_EQ(window->y, 0);
  EXPECT_EQ(window->width, TVirtualDisplay::kWidth);
  EXPECT_EQ(window->height, TVirtualDisplay::kHeight);
  display->Focus(*window);
  display->XDoTool({"key", "a"});
  EXPECT_TRUE(EndsCleanly());
  EXPECT_EQ(Output(), "");
}

// A key press or a click closes the window at once, before the first
// picture; moving the mouse closes it only by more than 5 pixels a step.
TEST_F(NightfallTest, ClosesOnKeyClickOrMovement) {
  for (const std::string input : {"key", "click", "movement"}) {
    SCOPED_TRACE(input);
    const TWindowInfo window = StartShow();
    ASSERT_NE(window.id, 0u);
    if (input == "key") {
      display->Focus(window);
      display->XDoTool({"key", "space"});
    } else if (input == "click") {
      display->XDoTool({"click", "1"});
    } else {
      display->XDoTool({"mousemove_relative", "3", "0"});
      display->XDoTool({"mousemove_relative", "0", "5"});
      // The small steps were handled long before the first tick.
      EXPECT_TRUE(WaitFor([&] { return State() == "first"; })) << "the show did not go on";
      EXPECT_TRUE(process->Running());
      display->XDoTool({"mousemove_relative", "6", "0"});
    }
    EXPECT_TRUE(EndsCleanly());
    EXPECT_EQ(Output(), "");
    process.reset();
    // The pointer moved; the next run starts from the middle of the screen.
    display->XDoTool({"mousemove", "400", "300"});
  }
}

// Any other command line gives the same black window without pictures.
TEST_F(NightfallTest, OtherCommandLinesShowNoPictures) {
  for (const auto& args : {std::vector<std::string>{"/c"}, std::vector<std::string>{"/p", "123"}}) {
    SCOPED_TRACE(args[0]);
    const TWindowInfo window = StartShow(args);
    ASSERT_NE(window.id, 0u);
    // A picture would come after one second: watch for one and a half.
    const auto end = std::chrono::steady_clock::now() + 1500ms;
    while (std::chrono::steady_clock::now() < end) ASSERT_EQ(State(), "black");
    display->Focus(window);
    display->XDoTool({"key", "Escape"});
    EXPECT_TRUE(EndsCleanly());
    EXPECT_EQ(Output(), "");
    process.reset();
  }
}

// An error during a tick is shown in a message box over the show; a later
// tick tries the same entry again, and the last good picture stays.
TEST_F(NightfallTest, TickErrorIsShownAndTheEntryTriedAgain) {
  const std::string exe = Copy(LIMPET_NIGHTFALL_PATH, "nightfall");
  BindFiles(exe, dir.Path(), {{kFirst.Jpeg(), "first.jpg"}, {kSecond.Jpeg(), "second.jpg", 6, "Lighthouse"}});
  Start(exe);
  ASSERT_TRUE(WaitFor([&] { return State() == "first"; })) << "the first picture did not appear";
  const std::string line = "Nightfall: Incorrect password for the file entry.\n";
  ASSERT_NO_FATAL_FAILURE(DismissMessageBox("Nightfall", ""));
  EXPECT_EQ(Output(), line);
  ASSERT_NO_FATAL_FAILURE(DismissMessageBox("Nightfall", ""));
  EXPECT_EQ(Output(), line + line);
  const auto window = display->FindWindow("MainForm");
  ASSERT_TRUE(window);
  // Repainted where the box was, the last good picture still shows.
  EXPECT_TRUE(WaitFor([&] { return State() == "first"; })) << State();
  display->Focus(*window);
  display->XDoTool({"key", "space"});
  EXPECT_TRUE(EndsCleanly());
}

TEST_F(NightfallTest, NoBoundDataShowsTheErrorThenBlack) {
  Start(Copy(LIMPET_NIGHTFALL_PATH, "nightfall"));
  ASSERT_NO_FATAL_FAILURE(DismissMessageBox("Nightfall", "MainForm"));
  const std::string message = "Nightfall: Invalid signature in EXE file, cannot extract files from it!\n";
  EXPECT_EQ(Output(), message);
  const TWindowInfo window = WaitForBlack();
  ASSERT_NE(window.id, 0u);
  display->XDoTool({"click", "3"});
  EXPECT_TRUE(EndsCleanly());
  EXPECT_EQ(Output(), message);
}

}  // namespace
}  // namespace limpet::test
