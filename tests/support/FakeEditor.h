#pragma once
// An editor that draws nothing and records what the framework asks of it: the values pushed
// into its controls, PrepDraw, and the window opened and closed. Tests that use it link the
// graphics library, as a real editor would.

#include <vector>

#include "graphics/IGraphics.h"

namespace torva_test
{

class FakeEditor : public IGraphics
{
public:
  struct Push
  {
    int mIdx;
    double mValue;
    bool mNormalized;
  };

  // pDeleted, when given, is set when the editor is deleted (the plug-in owns it).
  explicit FakeEditor(IPlugBase* pPlug, int w = 300, int h = 120, bool* pDeleted = nullptr)
      : IGraphics(pPlug, w, h), mDeleted(pDeleted)
  {
  }
  ~FakeEditor() override
  {
    if (mDeleted) *mDeleted = true;
  }

  void SetParameterFromPlug(int paramIdx, double value, bool normalized) override
  {
    mPushes.push_back({paramIdx, value, normalized});
  }
  void PrepDraw() override
  {
    ++mPrepDraws;
    mPrepDrawAt = static_cast<int>(mPushes.size());
  }
  void* OpenWindow(void* pParentWnd) override
  {
    ++mOpens;
    mParent = pParentWnd;
    return mOpenResult;
  }
  void CloseWindow() override { ++mCloses; }
  // The rest of the platform half, unused here.
  bool DrawScreen(IRECT*) override { return true; }
  void ForceEndUserEdit() override {}
  IPopupMenu* CreateIPopupMenu(IPopupMenu*, IRECT*) override { return nullptr; }
  void CreateTextEntry(IControl*, IText*, IRECT*, const char*, IParam*) override {}
  void* GetWindow() override { return nullptr; }
  LICE_IBitmap* OSLoadBitmap(int, const char*) override { return nullptr; }

  // The editor's size changes, as when it resizes itself.
  void SetSize(int w, int h)
  {
    mWidth = w;
    mHeight = h;
  }

  std::vector<Push> mPushes;
  int mPrepDraws = 0;
  int mPrepDrawAt = -1; // how many pushes had happened when PrepDraw last ran
  int mOpens = 0;
  int mCloses = 0;
  void* mParent = nullptr;  // the parent window of the last OpenWindow
  void* mOpenResult = this; // what OpenWindow answers; null for a failed open

private:
  bool* mDeleted;
};

} // namespace torva_test
