// Lantern's form: window settings of the two builds, the first bound
// picture shown at the client area's top-left corner, and the errors of
// start-up.
#include <gtest/gtest.h>

#include "FormTestSupport.h"
#include "LQExcept.h"
#include "viewer/MainFrm.h"

namespace limpet::test {
namespace {

using lantern::TInitialWindow;
using lantern::TMainForm;

const TPicture kFirst{64, 48, {kRed, kGreen, kBlue, kYellow}};
const TPicture kSecond{32, 96, {kMagenta, kCyan, kOrange, kPurple}};

TEST(LanternForm, SettingsOfTheTwoBuilds) {
  struct TCase {
    TInitialWindow build;
    TWindowState state;
    int32_t left, top, width, height;
  };
  const TCase cases[] = {
      {TInitialWindow::Maximised, wsMaximized, 207, 144, 437, 313},
      {TInitialWindow::Normal, wsNormal, 196, 113, 544, 375},
  };
  for (const TCase& c : cases) {
    TMainForm form(c.build);
    EXPECT_EQ(form.Name(), "MainForm");
    EXPECT_EQ(form.Caption(), "JPEG Viewer - self-extract and view JPEG files");
    EXPECT_EQ(form.Color(), clBtnFace);
    EXPECT_EQ(form.BorderStyle(), bsSizeable);
    EXPECT_EQ(form.WindowState(), c.state);
    EXPECT_EQ(form.Left(), c.left);
    EXPECT_EQ(form.Top(), c.top);
    EXPECT_EQ(form.Width(), c.width);
    EXPECT_EQ(form.Height(), c.height);
    EXPECT_TRUE(form.Timers().empty());
    EXPECT_TRUE(form.ExeName().empty());
  }
}

class LanternFormTest : public DemoFormTest {
 protected:
  // Creates the form over the stand-in executable; returns the error's
  // message, empty when none was raised.
  std::string Create() {
    form.SetExeName(exe);
    try {
      form.DoCreate();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "";
  }

  TMainForm form;
};

// However the first entry is stored, it is the one shown, at (0, 0).
TEST_F(LanternFormTest, ShowsTheFirstEntryAtTheTopLeftCorner) {
  struct TCase {
    uint8_t level;
    std::string password;
  };
  const TCase cases[] = {{0, ""}, {9, ""}, {0, "KelpForest"}, {6, "KelpForest"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE("level " + std::to_string(c.level) + " password '" + c.password + "'");
    Bind({{kFirst.Jpeg(), "first.jpg", c.level, c.password}, {kSecond.Jpeg(), "second.jpg"}});
    TMainForm form;
    form.SetExeName(exe);
    form.DoCreate();
    ASSERT_NE(form.Image(), nullptr);
    EXPECT_TRUE(ShowsPicture(*form.Image(), kFirst));
    const auto calls = PaintOf(form);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].x, 0);
    EXPECT_EQ(calls[0].y, 0);
    EXPECT_EQ(calls[0].graphic, form.Image());
  }
}

// The first entry of the directory counts, not the first name in any order.
TEST_F(LanternFormTest, FirstInDirectoryOrder) {
  Bind({{kSecond.Jpeg(), "z.jpg"}, {kFirst.Jpeg(), "a.jpg"}});
  EXPECT_EQ(Create(), "");
  EXPECT_TRUE(ShowsPicture(*form.Image(), kSecond));
}

TEST_F(LanternFormTest, EmptyListLeavesTheWindowBlank) {
  Bind({});
  EXPECT_EQ(Create(), "");
  ASSERT_NE(form.Image(), nullptr);
  EXPECT_TRUE(form.Image()->Empty());
  EXPECT_TRUE(PaintOf(form).empty());
}

template <class E>
bool Is(const Exception& e) {
  return dynamic_cast<const E*>(&e) != nullptr;
}

// Errors of start-up pass to the host, which shows them; the form then has
// an empty picture and paints nothing.
TEST_F(LanternFormTest, StartUpErrors) {
  struct TCase {
    const char* what;
    bool bind;
    std::vector<TBoundFile> bound;
    bool (*isClass)(const Exception&);
    std::string message;
  };
  const TCase cases[] = {
      {"no bound data", false, {}, Is<ELQInvalidEXESignature>,
       "Invalid signature in EXE file, cannot extract files from it!"},
      {"wrong password", true, {{kFirst.Jpeg(), "first.jpg", 6, "Lighthouse"}}, Is<ELQIncorrectPassword>,
       "Incorrect password for the file entry."},
      {"not a JPEG file", true, {{"GIF89a, not a JPEG", "first.jpg"}, {kFirst.Jpeg(), "second.jpg"}}, Is<EJPEG>,
       "Not a JPEG file: starts with 0x47 0x49"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(exe, "a program without bound data");
    if (c.bind) Bind(c.bound);
    TMainForm form;
    form.SetExeName(exe);
    try {
      form.DoCreate();
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_TRUE(c.isClass(e));
      EXPECT_EQ(e.Message(), c.message);
    }
    ASSERT_NE(form.Image(), nullptr);
    EXPECT_TRUE(form.Image()->Empty());
    EXPECT_TRUE(PaintOf(form).empty());
  }
}

TEST_F(LanternFormTest, DestroyFreesThePicture) {
  Bind({{kFirst.Jpeg(), "first.jpg"}});
  EXPECT_EQ(Create(), "");
  form.DoDestroy();
  EXPECT_EQ(form.Image(), nullptr);
  EXPECT_TRUE(PaintOf(form).empty());
}

}  // namespace
}  // namespace limpet::test
