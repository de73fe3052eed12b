// The editor's sizes: where the size comes from, the panel's menu that chooses one, and the
// mapping between editor units and the pixels of the back bitmap.
//
//   source                      set by                                  order
//   the user's choice           the panel menu (ChooseUserScale), or    first
//                               remembered by the platform
//   the host's scale            the adapter (SetHostScale)              second
//   the platform's own          ResolveScale overrides (environment,    then
//                               the X server's resolution)
//   none                        100 %                                   last
//
// A choice from the menu resizes only once the host has agreed to the new window size: the
// plug-in asks (RequestEditorSize), the answer comes back on whatever thread the adapter talks
// to the host on (EditorSizeAnswered), and the editor's thread applies it (TakeAcceptedScale).

#include <cmath>
#include <cstdio>
#include <vector>

#include "framework/IPlugBase.h"
#include "graphics/IControl.h"
#include "graphics/IGraphics.h"
#include "graphics/IPopupMenu.h"
#include "raster/lice.h"

int IGraphics::NearestScale(double factor)
{
  if (!std::isfinite(factor) || factor <= 0.0) return 100;
  int best = kScales[0];
  for (int s : kScales)
    if (std::fabs(factor * 100.0 - s) <= std::fabs(factor * 100.0 - best)) best = s;
  return best;
}

IRECT IGraphics::ToPhysical(const IRECT& r) const
{
  if (mScale == 100) return r;
  return IRECT(ToPhysical(r.mL), ToPhysical(r.mT), ToPhysical(r.mR), ToPhysical(r.mB));
}

int IGraphics::ToLogical(int p) const
{
  if (mScale == 100) return p;
  // ScaleEdge is strictly increasing for sizes of 100 % and more: the last v with an edge at or
  // left of p, found from a close first guess.
  int v = (int)std::floor(p * 100.0 / mScale);
  while (ScaleEdge(v + 1, mScale) <= p) ++v;
  while (ScaleEdge(v, mScale) > p) --v;
  return v;
}

void IGraphics::SetScale(int scale)
{
  scale = NearestScale(scale / 100.0);
  if (scale == mScale) return;
  mScale = scale;
  mShownScale.store(scale);
  if (mDrawBitmap)
  {
    mDrawBitmap->resize(ScaledWidth(mScale), ScaledHeight(mScale));
    SetAllControlsDirty();
  }
}

int IGraphics::ResolveScale()
{
  if (WindowIsOpen()) return mShownScale.load();
  int scale = mUserScale.load();
  if (!scale) scale = StoredUserScale();
  if (!scale) scale = mHostScale.load();
  if (!scale) scale = PlatformScale();
  return scale ? NearestScale(scale / 100.0) : 100;
}

void IGraphics::SetHostScale(double factor)
{
  mHostScale.store(std::isfinite(factor) && factor > 0.0 ? NearestScale(factor) : 0);
}

void IGraphics::ChooseUserScale(int scale)
{
  scale = NearestScale(scale / 100.0);
  mUserScale.store(scale);
  StoreUserScale(scale);
  if (scale == mScale) return;
  mRequestedScale.store(scale);
  if (mPlug)
    mPlug->RequestEditorSize(ScaledWidth(scale), ScaledHeight(scale));
  else
    EditorSizeAnswered(ScaledWidth(scale), ScaledHeight(scale), true);
}

void IGraphics::EditorSizeAnswered(int w, int h, bool accepted)
{
  const int asked = mRequestedScale.load();
  if (!asked || w != ScaledWidth(asked) || h != ScaledHeight(asked)) return;
  mRequestedScale.store(0);
  if (!accepted) return;
  mAcceptedScale.store(asked);
  WakeEditor();
}

bool IGraphics::PopupPanelMenu(int x, int y)
{
  IPopupMenu presets;
  std::vector<PresetChoice> choices;
  if (mPlug) FillPresetsMenu(&presets, &choices);
  IPopupMenu sizes;
  for (int s : kScales)
  {
    char text[16];
    std::snprintf(text, sizeof text, "%d %%", s);
    sizes.AddItem(text, -1, s == mScale ? IPopupMenuItem::kChecked : IPopupMenuItem::kNoFlags);
  }
  IPopupMenu menu;
  if (presets.GetNItems()) menu.AddItem("Presets", &presets);
  menu.AddItem("Size", &sizes);
  IRECT at(x, y, x + 1, y + 1);
  IPopupMenu* chosen = CreateIPopupMenu(&menu, &at);
  if (chosen == &sizes)
  {
    const int idx = sizes.GetChosenItemIdx();
    if (idx >= 0 && idx < (int)std::size(kScales)) ChooseUserScale(kScales[idx]);
  }
  else if (chosen == &presets)
  {
    const int idx = presets.GetChosenItemIdx();
    const IPopupMenuItem* item = presets.GetItem(idx);
    // A disabled line (an unreadable file, the last error) is never acted on, whatever the
    // platform answers.
    if (item && item->GetEnabled() && idx < (int)choices.size())
      TakePresetChoice(choices[idx], x, y);
  }
  return true;
}
