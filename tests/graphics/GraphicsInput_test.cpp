// Mouse and key routing: hit tests, the capture between press and release, the host's
// begin/end-edit bracket, greyed and hidden controls, mouse-over, the key catcher, and
// double-clicks.

#include "GraphicsTestSupport.h"

using namespace gfxtest;

namespace
{

// Background 0 (0,0,100,100), A (10,10,40,40) on kLevel, B (30,30,60,60) above A on kGain.
struct Stack : Rig
{
  ProbeControl* bg = Probe(IRECT(0, 0, 100, 100));
  ProbeControl* a = Probe(IRECT(10, 10, 40, 40), kLevel);
  ProbeControl* b = Probe(IRECT(30, 30, 60, 60), kGain);
  IMouseMod left{true};

  Stack() { Open(); }
  std::string Logs() { return "bg[" + bg->Log() + "] a[" + a->Log() + "] b[" + b->Log() + "]"; }
};

// The hit control, and the parameter offered for automation there.
TEST(GraphicsInput, HitTestTakesTheTopVisibleUngreyedControl)
{
  struct Row
  {
    const char* what;
    int x, y;
    bool hideB, greyB;
    int expected, param;
  };
  const Row rows[] = {
      {"only A", 15, 15, false, false, 1, kLevel},
      {"overlap: attached later wins", 35, 35, false, false, 2, kGain},
      {"overlap, B hidden", 35, 35, true, false, 1, kLevel},
      {"overlap, B greyed", 35, 35, false, true, 1, kLevel},
      {"right edge is outside", 60, 45, false, false, 0, -1},
      {"background", 90, 90, false, false, 0, -1},
      {"outside everything", 150, 150, false, false, -1, -1},
  };
  for (const Row& row : rows)
  {
    SCOPED_TRACE(row.what);
    Stack s;
    s.b->Hide(row.hideB);
    s.b->GrayOut(row.greyB);
    EXPECT_EQ(s.gui->GetMouseControlIdx(row.x, row.y), row.expected);
    EXPECT_EQ(s.gui->GetParamIdxForPTAutomation(row.x, row.y), row.param);
    // The last clicked parameter is handed out once.
    EXPECT_EQ(s.gui->GetLastClickedParamForPTAutomation(), row.param);
    EXPECT_EQ(s.gui->GetLastClickedParamForPTAutomation(), -1);
  }
}

TEST(GraphicsInput, PressDragReleaseWithCapture)
{
  Stack s;
  s.HostLog();
  s.gui->OnMouseDown(35, 35, &s.left);
  EXPECT_EQ(s.gui->GetCapturedControlIdx(), 2);
  // While captured every drag goes to B, wherever the pointer is; a repeat position is dropped.
  s.gui->OnMouseDrag(35, 35, &s.left);
  s.gui->OnMouseDrag(15, 20, &s.left);
  s.gui->OnMouseDrag(150, 20, &s.left);
  EXPECT_EQ(s.gui->GetMouseControlIdx(15, 15), 2);
  s.gui->OnMouseUp(150, 20, &s.left);
  EXPECT_EQ(s.Logs(), "bg[] a[] b[down 35,35; drag 15,20 d-20,-15; drag 150,20 d135,0; up 150,20]");
  EXPECT_EQ(s.HostLog(), "begin 0; end 0");
  EXPECT_EQ(s.gui->GetCapturedControlIdx(), -1);
  EXPECT_EQ(s.gui->GetLastMouseX(), -1);

  // Without a capture drags go nowhere.
  s.gui->OnMouseDrag(20, 20, &s.left);
  EXPECT_EQ(s.Logs(), "bg[] a[] b[]");

  // A release over nothing still ends the capture; a press on the background has no
  // parameter, so no edit bracket.
  s.gui->OnMouseDown(90, 90, &s.left);
  s.gui->OnMouseUp(500, 500, &s.left);
  EXPECT_EQ(s.gui->GetCapturedControlIdx(), -1);
  EXPECT_EQ(s.Logs(), "bg[down 90,90; up 500,500] a[] b[]");
  EXPECT_EQ(s.HostLog(), "");

  // A miss captures nothing; the release then goes to whatever is under the pointer, with no
  // end-edit for an edit that never began.
  s.gui->OnMouseDown(150, 150, &s.left);
  s.gui->OnMouseUp(15, 15, &s.left);
  EXPECT_EQ(s.Logs(), "bg[] a[up 15,15] b[]");
  EXPECT_EQ(s.HostLog(), "");
}

TEST(GraphicsInput, EveryBeginEditIsEnded)
{
  Stack s;
  s.HostLog();
  // A lost release: the next press ends the first edit before beginning its own.
  s.gui->OnMouseDown(15, 15, &s.left);
  s.gui->OnMouseDown(35, 35, &s.left);
  s.gui->OnMouseUp(35, 35, &s.left);
  EXPECT_EQ(s.HostLog(), "begin 4; end 4; begin 0; end 0");
  // Dropping the capture from outside ends the edit too.
  s.gui->OnMouseDown(15, 15, &s.left);
  s.gui->ReleaseMouseCapture();
  s.gui->OnMouseUp(15, 15, &s.left);
  EXPECT_EQ(s.HostLog(), "begin 4; end 4");
}

TEST(GraphicsInput, GreyedControlsTakeOnlyMouseOverWhenAllowed)
{
  Stack s;
  s.b->GrayOut(true);
  s.a->mTakesKeys = true;
  s.gui->HandleMouseOver(true);
  s.gui->OnMouseDown(50, 50, &s.left); // B only: falls through to the background
  s.gui->OnMouseUp(50, 50, &s.left);
  s.gui->OnMouseWheel(50, 50, &s.left, 3);
  s.gui->OnMouseOver(50, 50, &s.left);
  EXPECT_EQ(s.Logs(), "bg[down 50,50; up 50,50; wheel 3; over 50,50] a[] b[]");

  s.b->SetMOWhenGrayed(true);
  s.gui->OnMouseOver(50, 51, &s.left);
  s.gui->OnMouseDown(50, 50, &s.left);
  s.gui->OnMouseUp(50, 50, &s.left);
  EXPECT_EQ(s.Logs(), "bg[out; down 50,50; up 50,50] a[] b[over 50,51]");
}

TEST(GraphicsInput, MouseOverAndOut)
{
  Stack s;
  EXPECT_FALSE(s.gui->OnMouseOver(15, 15, &s.left)) << "tracking is off by default";
  s.gui->HandleMouseOver(true);
  EXPECT_TRUE(s.gui->OnMouseOver(15, 15, &s.left));
  EXPECT_TRUE(s.gui->OnMouseOver(16, 15, &s.left));
  EXPECT_TRUE(s.gui->OnMouseOver(35, 35, &s.left));
  EXPECT_TRUE(s.gui->OnMouseOver(500, 500, &s.left)) << "nothing there: nothing changes";
  EXPECT_EQ(s.gui->GetMouseOverControlIdx(), 2);
  EXPECT_EQ(s.Logs(), "bg[] a[over 15,15; over 16,15; out] b[over 35,35]");
  s.gui->OnMouseOut();
  EXPECT_EQ(s.gui->GetMouseOverControlIdx(), -1);
  EXPECT_EQ(s.Logs(), "bg[out] a[out] b[out]");
}

TEST(GraphicsInput, KeysGoToTheControlOrTheCatcher)
{
  struct Row
  {
    const char* what;
    int x, y;
    bool catcher, aTakes;
    bool result;
    const char* aLog;
    const char* catcherLog;
  };
  const Row rows[] = {
      {"control under the pointer", 15, 15, true, true, true, "key 7", ""},
      {"control declines: not passed on", 15, 15, true, false, false, "key 7", ""},
      {"background: the catcher", 90, 90, true, true, true, "", "key 7"},
      {"nothing: the catcher", 500, 500, true, true, true, "", "key 7"},
      {"background, no catcher", 90, 90, false, true, false, "", ""},
  };
  for (const Row& row : rows)
  {
    Stack s;
    ProbeControl* catcher = nullptr;
    if (row.catcher)
    {
      catcher = new ProbeControl(&s.plug, IRECT());
      s.gui->AttachKeyCatcher(catcher);
    }
    s.a->mTakesKeys = row.aTakes;
    EXPECT_EQ(s.gui->OnKeyDown(row.x, row.y, 7), row.result) << row.what;
    EXPECT_EQ(s.a->Log(), row.aLog) << row.what;
    EXPECT_EQ(catcher ? catcher->Log() : "", row.catcherLog) << row.what;
    EXPECT_EQ(s.bg->Log(), "") << row.what;
  }
}

TEST(GraphicsInput, DoubleClickAsClick)
{
  Stack s;
  s.HostLog();
  EXPECT_FALSE(s.gui->OnMouseDblClick(15, 15, &s.left));
  EXPECT_EQ(s.gui->GetCapturedControlIdx(), -1);
  EXPECT_FALSE(s.gui->OnMouseDblClick(500, 500, &s.left));
  EXPECT_EQ(s.Logs(), "bg[] a[dbl 15,15] b[]");

  s.a->SetMouseDblAsSingleClick(true);
  EXPECT_TRUE(s.gui->OnMouseDblClick(15, 15, &s.left));
  EXPECT_EQ(s.gui->GetCapturedControlIdx(), 1);
  s.gui->OnMouseDrag(15, 25, &s.left);
  s.gui->OnMouseUp(15, 25, &s.left);
  EXPECT_EQ(s.gui->GetCapturedControlIdx(), -1);
  EXPECT_EQ(s.Logs(), "bg[] a[down 15,15; drag 15,25 d0,10; up 15,25] b[]");
  // Each double-click is a gesture: the reset one and the one routed as a press.
  EXPECT_EQ(s.HostLog(), "begin 4; end 4; begin 4; end 4");
}

// Resize rebuilds the editor: nothing captured or hovered survives, an edit in progress is
// ended, and an open text entry can no longer answer for a deleted control.
TEST(GraphicsInput, ResizeWhileCapturedOrPrompting)
{
  Stack s;
  s.gui->HandleMouseOver(true);
  s.gui->OnMouseOver(15, 15, &s.left);
  s.gui->OnMouseDown(15, 15, &s.left);
  s.HostLog();
  s.a->DisablePrompt(false);
  s.a->PromptUserInput(); // kLevel: a text entry stays open (nothing queued)
  ASSERT_TRUE(s.gui->IsTextEntryOpen());

  s.gui->Resize(200, 150);
  EXPECT_EQ(s.HostLog(), "end 4; other");
  EXPECT_EQ(s.gui->NControls(), 0);
  EXPECT_EQ(s.gui->GetCapturedControlIdx(), -1);
  EXPECT_EQ(s.gui->GetMouseOverControlIdx(), -1);
  EXPECT_FALSE(s.gui->IsTextEntryOpen());
  EXPECT_FALSE(s.gui->CommitTextEntry("0.9"));
  EXPECT_EQ(s.gui->GetDrawBitmap()->getWidth(), 200);
  EXPECT_EQ(s.gui->GetDrawBitmap()->getHeight(), 150);

  // Later events find an empty editor.
  s.gui->OnMouseDrag(20, 20, &s.left);
  s.gui->OnMouseUp(20, 20, &s.left);
  EXPECT_FALSE(s.gui->OnKeyDown(20, 20, 1));
  EXPECT_EQ(s.HostLog(), "");
  EXPECT_DOUBLE_EQ(s.plug.GetParam(kLevel)->Value(), 0.25);
}

} // namespace
