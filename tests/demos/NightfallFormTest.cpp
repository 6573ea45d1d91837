// Nightfall's form: run mode from the command line, the show's ticks (order,
// wrap, retry after a failed tick), centring, and what closes the window.
#include <gtest/gtest.h>

#include "FormTestSupport.h"
#include "LQExcept.h"
#include "screensaver/MainFrm.h"

namespace limpet::test {
namespace {

using nightfall::IsRunMode;
using nightfall::TMainForm;

// Pictures told apart by their sizes.
TPicture Picture(int32_t width, int32_t height) { return {width, height, {kRed, kGreen, kBlue, kYellow}}; }

TEST(NightfallForm, RunModeFromTheCommandLine) {
  struct TCase {
    std::vector<std::string> params;
    bool run;
  };
  const TCase cases[] = {
      {{}, true},          {{"/s"}, true},       {{"s"}, true},         {{"-s"}, true},
      {{"/S"}, true},      {{"S"}, true},        {{"-S"}, true},        {{"/c"}, false},
      {{"/p", "123"}, false}, {{"/s", "x"}, false}, {{"/s", "/s"}, false}, {{""}, false},
      {{"/ss"}, false},    {{"--s"}, false},     {{" /s"}, false},      {{"/c:1234"}, false},
  };
  for (const TCase& c : cases) {
    std::string shown;
    for (const auto& p : c.params) shown += "'" + p + "' ";
    EXPECT_EQ(IsRunMode(c.params), c.run) << shown;
  }
}

TEST(NightfallForm, Settings) {
  TMainForm form;
  EXPECT_EQ(form.Name(), "MainForm");
  EXPECT_EQ(form.Caption(), "MainForm");
  EXPECT_EQ(form.Color(), clBlack);
  EXPECT_EQ(form.BorderStyle(), bsNone);
  EXPECT_EQ(form.WindowState(), wsMaximized);
  ASSERT_EQ(form.Timers().size(), 1u);
  EXPECT_EQ(form.Timers()[0], &form.Timer());
  EXPECT_FALSE(form.Timer().Enabled());
  EXPECT_EQ(form.Timer().Interval(), 1000u);
}

class NightfallFormTest : public DemoFormTest {
 protected:
  // A form over the stand-in executable, created; returns the error's
  // message, empty when none was raised.
  std::string Create(TMainForm& form) {
    form.SetExeName(exe);
    form.SetBounds(0, 0, 800, 600);
    try {
      form.DoCreate();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "";
  }
  // Fires the timer as the host does; returns the error's message, empty
  // when none was raised.
  static std::string Tick(TMainForm& form) {
    try {
      form.Timer().Timer();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "";
  }
  // The size of the picture a paint draws, "none" when it draws nothing.
  static std::string Shown(TMainForm& form) {
    const auto calls = PaintOf(form);
    if (calls.empty()) return "none";
    EXPECT_EQ(calls.size(), 1u);
    return std::to_string(calls[0].graphic->Width()) + "x" + std::to_string(calls[0].graphic->Height());
  }
};

// Out of run mode nothing is extracted and nothing ever shown; the window
// closes on the same input.
TEST_F(NightfallFormTest, OutOfRunMode) {
  Bind({{Picture(32, 16).Jpeg(), "a.jpg"}});
  for (const auto& params : {std::vector<std::string>{"/c"}, std::vector<std::string>{"/p", "123"}}) {
    TMainForm form(params);
    EXPECT_EQ(Create(form), "");
    EXPECT_EQ(form.Extractor(), nullptr);
    EXPECT_EQ(form.Image(), nullptr);
    EXPECT_FALSE(form.Timer().Enabled());
    EXPECT_EQ(Tick(form), "");
    EXPECT_FALSE(form.Invalidated());
    EXPECT_EQ(Shown(form), "none");
    uint16_t key = 0;
    form.KeyDown(key, 0);
    EXPECT_TRUE(form.CloseRequested());
    TMainForm clicked(params);
    EXPECT_EQ(Create(clicked), "");
    clicked.MouseDown(mbRight, 0, 10, 10);
    EXPECT_TRUE(clicked.CloseRequested());
  }
}

TEST_F(NightfallFormTest, TimerRunsOnlyWithEntries) {
  for (size_t count : {0u, 1u, 2u}) {
    std::vector<TBoundFile> files;
    for (size_t i = 0; i < count; ++i) files.push_back({Picture(16, 16).Jpeg(), "p" + std::to_string(i)});
    Bind(files);
    TMainForm form;
    EXPECT_EQ(Create(form), "");
    ASSERT_NE(form.Extractor(), nullptr);
    EXPECT_EQ(form.Extractor()->FileList().Count(), static_cast<int32_t>(count));
    ASSERT_NE(form.Image(), nullptr);
    EXPECT_TRUE(form.Image()->Empty());
    EXPECT_EQ(form.Index(), 0);
    EXPECT_EQ(form.Timer().Enabled(), count > 0) << count;
    // Nothing is shown before the first tick.
    EXPECT_EQ(Shown(form), "none");
  }
}

// An error while listing leaves the show idle: no picture, no timer, and a
// tick does nothing.
TEST_F(NightfallFormTest, NoBoundDataLeavesTheShowIdle) {
  TMainForm form;
  EXPECT_EQ(Create(form), "Invalid signature in EXE file, cannot extract files from it!");
  EXPECT_EQ(form.Image(), nullptr);
  EXPECT_FALSE(form.Timer().Enabled());
  EXPECT_EQ(Tick(form), "");
  EXPECT_FALSE(form.Invalidated());
  EXPECT_EQ(Shown(form), "none");
  form.DoDestroy();
  EXPECT_EQ(form.Extractor(), nullptr);
}

// Each tick shows the next entry in directory order, whatever its storage,
// and invalidates the window; after the last the show starts again.
TEST_F(NightfallFormTest, TicksShowEntriesInTurnAndWrap) {
  Bind({{Picture(48, 16).Jpeg(), "c.jpg", 0, ""},
        {Picture(16, 32).Jpeg(), "a.jpg", 9, "KelpForest"},
        {Picture(32, 48).Jpeg(), "b.jpg", 0, "KelpForest"}});
  TMainForm form;
  ASSERT_EQ(Create(form), "");
  const char* expected[] = {"48x16", "16x32", "32x48", "48x16", "16x32", "32x48", "48x16"};
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE("tick " + std::to_string(i + 1));
    EXPECT_EQ(Tick(form), "");
    EXPECT_EQ(form.Index(), i % 3 + 1);
    EXPECT_TRUE(form.Invalidated());
    EXPECT_EQ(Shown(form), expected[i]);
    EXPECT_FALSE(form.Invalidated());
  }
  EXPECT_TRUE(ShowsPicture(*form.Image(), Picture(48, 16)));
}

TEST_F(NightfallFormTest, SingleEntryShownAtEveryTick) {
  Bind({{Picture(24, 24).Jpeg(), "only.jpg"}});
  TMainForm form;
  ASSERT_EQ(Create(form), "");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Tick(form), "");
    EXPECT_EQ(form.Index(), 1);
    EXPECT_EQ(Shown(form), "24x24");
  }
}

// Entries are restored by stored name: of two with one name, the first is
// shown whenever either comes up.
TEST_F(NightfallFormTest, DuplicateNamesShowTheFirst) {
  Bind({{Picture(16, 16).Jpeg(), "same.jpg"}, {Picture(32, 32).Jpeg(), "same.jpg"}, {Picture(48, 48).Jpeg(), "x.jpg"}});
  TMainForm form;
  ASSERT_EQ(Create(form), "");
  for (const char* expected : {"16x16", "16x16", "48x48", "16x16"}) {
    EXPECT_EQ(Tick(form), "");
    EXPECT_EQ(Shown(form), expected);
  }
}

// A failed tick does not advance: the next tick tries the same entry, read
// afresh from the executable, so a repaired binding is picked up.
TEST_F(NightfallFormTest, FailedTickRetriesTheSameEntry) {
  struct TCase {
    const char* what;
    TBoundFile broken;
    std::string message;
  };
  const TCase cases[] = {
      {"wrong password", {Picture(32, 48).Jpeg(), "b.jpg", 6, "Lighthouse"}, "Incorrect password for the file entry."},
      {"not a JPEG file", {"GIF89a, not a JPEG", "b.jpg"}, "Not a JPEG file: starts with 0x47 0x49"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const TBoundFile first{Picture(48, 16).Jpeg(), "a.jpg"};
    const TBoundFile third{Picture(16, 16).Jpeg(), "c.jpg"};
    Bind({first, c.broken, third});
    TMainForm form;
    ASSERT_EQ(Create(form), "");
    EXPECT_EQ(Tick(form), "");
    EXPECT_EQ(Shown(form), "48x16");
    for (int attempt = 0; attempt < 2; ++attempt) {
      EXPECT_EQ(Tick(form), c.message);
      EXPECT_EQ(form.Index(), 1);
      EXPECT_FALSE(form.Invalidated());
      EXPECT_EQ(Shown(form), "48x16");  // the last good picture stays
    }
    Bind({first, {Picture(32, 48).Jpeg(), "b.jpg"}, third});
    EXPECT_EQ(Tick(form), "");
    EXPECT_EQ(form.Index(), 2);
    EXPECT_EQ(Shown(form), "32x48");
  }
}

// The picture's top-left corner goes to half the difference of the sizes,
// truncated toward zero: larger pictures get negative coordinates.
TEST_F(NightfallFormTest, PaintCentresThePicture) {
  struct TCase {
    int32_t width, height;
    int32_t x, y;
  };
  const TCase cases[] = {
      {200, 100, 300, 250},
      {201, 101, 299, 249},
      {800, 600, 0, 0},
      {801, 599, 0, 0},
      {1001, 603, -100, -1},
      {1200, 1001, -200, -200},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    Bind({{Picture(c.width, c.height).Jpeg(), "p.jpg", 1, ""}});
    TMainForm form;
    ASSERT_EQ(Create(form), "");
    ASSERT_EQ(Tick(form), "");
    const auto calls = PaintOf(form);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].x, c.x);
    EXPECT_EQ(calls[0].y, c.y);
  }
}

// The mouse rule: a move closes the window when both recorded coordinates
// are non-zero and the pointer moved more than 5 pixels on either axis
// since the previous move. Every move is recorded.
TEST(NightfallForm, MouseMoveRule) {
  struct TCase {
    const char* what;
    std::vector<std::array<int32_t, 2>> moves;
    int closesAt;  // index of the move that closes, -1 for none
  };
  const TCase cases[] = {
      {"first move only records", {{400, 300}}, -1},
      {"first move far from the start", {{700, 500}, {702, 503}}, -1},
      {"steps of 5 travel far", {{100, 100}, {105, 105}, {110, 110}, {115, 105}, {120, 100}, {125, 95}, {130, 90},
                                 {125, 95}, {120, 100}}, -1},
      {"step of 6 right", {{100, 100}, {106, 100}}, 1},
      {"step of 6 left", {{100, 100}, {94, 100}}, 1},
      {"step of 6 down", {{100, 100}, {100, 106}}, 1},
      {"step of 6 up", {{100, 100}, {100, 94}}, 1},
      {"compared with the previous move", {{100, 100}, {105, 100}, {110, 100}, {104, 100}}, 3},
      {"recorded x is 0", {{0, 100}, {300, 300}, {301, 301}}, -1},
      {"recorded y is 0", {{100, 0}, {300, 300}, {400, 400}}, 2},
      {"small steps to x = 0 are recorded", {{3, 100}, {0, 100}, {50, 50}}, -1},
      {"negative coordinates", {{-100, -100}, {-106, -100}}, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TMainForm form;
    for (size_t i = 0; i < c.moves.size(); ++i) {
      form.MouseMove(0, c.moves[i][0], c.moves[i][1]);
      EXPECT_EQ(form.CloseRequested(), c.closesAt >= 0 && static_cast<int>(i) >= c.closesAt) << "move " << i;
    }
  }
}

// A key or a click closes the window at once, before the first picture.
TEST_F(NightfallFormTest, KeyOrClickCloses) {
  Bind({{Picture(16, 16).Jpeg(), "a.jpg"}});
  TMainForm pressed;
  ASSERT_EQ(Create(pressed), "");
  uint16_t key = 0x2C;
  pressed.KeyDown(key, ssShift);
  EXPECT_TRUE(pressed.CloseRequested());
  for (TMouseButton button : {mbLeft, mbRight, mbMiddle}) {
    TMainForm clicked;
    ASSERT_EQ(Create(clicked), "");
    clicked.MouseDown(button, 0, 0, 0);
    EXPECT_TRUE(clicked.CloseRequested());
  }
}

TEST_F(NightfallFormTest, DestroyFreesPictureAndExtractor) {
  Bind({{Picture(16, 16).Jpeg(), "a.jpg"}});
  TMainForm form;
  ASSERT_EQ(Create(form), "");
  ASSERT_EQ(Tick(form), "");
  form.DoDestroy();
  EXPECT_EQ(form.Image(), nullptr);
  EXPECT_EQ(form.Extractor(), nullptr);
  EXPECT_EQ(Tick(form), "");
  EXPECT_EQ(Shown(form), "none");
}

}  // namespace
}  // namespace limpet::test
