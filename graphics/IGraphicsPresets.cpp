// The panel menu's presets: the product's factory table and the user's preset files, each
// checked when the parameters hold it, and "Save as…", which writes the parameters into the
// user's folder under a typed name.
//
// Everything here runs on the editor's thread without the plug-in mutex: the folder is listed
// and read while the menu is made, the file written once the name is typed, and a preset reaches
// the plug-in through the controls, one gesture per parameter that changes, as a user's hand
// would move them.

#include <cmath>
#include <cstdio>

#include "framework/IPlugBase.h"
#include "framework/fxfile/PresetFolder.h"
#include "graphics/IControl.h"
#include "graphics/IGraphics.h"
#include "graphics/IPopupMenu.h"

namespace
{
// A parameter holds a preset's value when their normalised values are this close: a float from
// a file comes back from the parameter's curve a rounding away.
constexpr double kSameValue = 1e-6;

bool Holds(const IParam& param, double normalised)
{
  return std::fabs(param.GetNormalized() - normalised) <= kSameValue;
}

// Whether the parameter already holds normalised: exactly for a factory row, which lands
// exactly; at a file's single precision for a file, where a smaller difference is no change.
bool AlreadyHolds(const IParam& param, double normalised, bool singlePrecision)
{
  if (singlePrecision && (float)param.GetNormalized() == (float)normalised) return true;
  IParam probe = param;
  probe.SetNormalized(normalised);
  return probe.Value() == param.Value();
}

// Receives the name typed for Save as…; never attached, so it draws nothing and takes no mouse.
class PresetNameEntry : public IControl
{
public:
  explicit PresetNameEntry(IGraphics* pGraphics)
      : IControl(pGraphics->GetPlug(), IRECT()), mGraphics(pGraphics)
  {
  }
  bool Draw(IGraphics*) override { return true; }
  void TextFromTextEntry(const char* text) override { mGraphics->SaveUserPresetAs(text); }

private:
  IGraphics* mGraphics;
};
} // namespace

void IGraphics::FillPresetsMenu(IPopupMenu* pMenu, std::vector<PresetChoice>* pChoices)
{
  const int n = mPlug->NParams();
  auto add = [&](const std::string& text, int flags, PresetChoice choice)
  {
    pMenu->AddItem(text.c_str(), -1, flags);
    pChoices->push_back(std::move(choice));
  };
  auto separator = [&]
  {
    const int last = pMenu->GetNItems() - 1;
    if (last < 0 || pMenu->GetItem(last)->GetIsSeparator()) return;
    pMenu->AddSeparator();
    pChoices->emplace_back();
  };
  auto checked = [](bool on) { return on ? IPopupMenuItem::kChecked : IPopupMenuItem::kNoFlags; };

  if (!mPresetError.empty())
  {
    add("Not saved: " + mPresetError, IPopupMenuItem::kDisabled, PresetChoice{});
    separator();
  }

  for (int r = 0, rows = mPlug->NFactoryPresets(); r < rows; ++r)
  {
    const FactoryPreset* row = mPlug->GetFactoryPreset(r);
    bool on = n <= kMaxFactoryPresetParams;
    for (int i = 0; on && i < n; ++i)
      on = Holds(*mPlug->GetParam(i), mPlug->GetParam(i)->GetNormalized(row->values[i]));
    add(row->name, checked(on), PresetChoice{PresetChoice::kFactory, r, {}});
  }

  bool section = false; // the user's presets begin after a separator
  int others = 0;       // other plug-ins' presets in the shared folder: counted, not listed
  for (PresetFileEntry& e : ListPresetFolder(UserPresetFolder(), mPlug->GetUniqueID(), n))
  {
    if (e.otherPlugin)
    {
      ++others;
      continue;
    }
    if (!section) separator();
    section = true;
    if (!e.usable)
    {
      add(e.name + " (unreadable: " + e.reason + ")", IPopupMenuItem::kDisabled, PresetChoice{});
      continue;
    }
    bool on = true;
    for (int i = 0; on && i < n; ++i) on = Holds(*mPlug->GetParam(i), e.program.mValues[i]);
    add(e.name, checked(on), PresetChoice{PresetChoice::kUser, -1, std::move(e.program.mValues)});
  }

  if (others)
  {
    if (!section) separator();
    add(std::to_string(others) + (others == 1 ? " file" : " files") + " for other plug-ins",
        IPopupMenuItem::kDisabled, PresetChoice{});
  }
  separator();
  add("Save as\u2026", IPopupMenuItem::kNoFlags, PresetChoice{PresetChoice::kSaveAs, -1, {}});
}

void IGraphics::TakePresetChoice(const PresetChoice& choice, int x, int y)
{
  std::vector<double> values;
  switch (choice.mKind)
  {
  case PresetChoice::kFactory:
    if (const FactoryPreset* row = mPlug->GetFactoryPreset(choice.mIndex))
      for (int i = 0, n = mPlug->NParams(); i < n && i < kMaxFactoryPresetParams; ++i)
        values.push_back(mPlug->GetParam(i)->GetNormalized(row->values[i]));
    ApplyPreset(values, false);
    break;
  case PresetChoice::kUser:
    values.assign(choice.mValues.begin(), choice.mValues.end());
    ApplyPreset(values, true);
    break;
  case PresetChoice::kSaveAs:
  {
    if (!mPresetNameEntry) mPresetNameEntry = std::make_shared<PresetNameEntry>(this);
    // A field wide enough for the longest name, kept inside the editor.
    const int w = 240 < mWidth ? 240 : mWidth, h = 22 < mHeight ? 22 : mHeight;
    const int l = x + w <= mWidth ? x : mWidth - w, t = y + h <= mHeight ? y : mHeight - h;
    IRECT field(l, t, l + w, t + h);
    IText style(14);
    CreateTextEntry(mPresetNameEntry.get(), &style, &field, "", nullptr);
    break;
  }
  case PresetChoice::kNothing:
    break;
  }
}

void IGraphics::ApplyPreset(const std::vector<double>& normalised, bool singlePrecision)
{
  for (int i = 0, n = mPlug->NParams(); i < n && i < (int)normalised.size(); ++i)
  {
    IParam* param = mPlug->GetParam(i);
    const double v = normalised[i];
    if (!std::isfinite(v) || AlreadyHolds(*param, v, singlePrecision)) continue;
    // A parameter no control shows (or whose controls already stand there) goes to the plug-in
    // directly, so that every one changes.
    bool viaControls = false;
    for (int c = 0, nc = NControls(); c < nc; ++c)
      if (mControls.Get(c)->ParamIdx() == i && mControls.Get(c)->GetValue() != v)
        viaControls = true;
    mPlug->BeginInformHostOfParamChange(i);
    if (viaControls)
      SetParameterFromGUI(i, v);
    else
      mPlug->SetParameterFromGUI(i, v);
    mPlug->EndInformHostOfParamChange(i);
  }
}

bool IGraphics::SaveUserPresetAs(const char* typed)
{
  auto refuse = [this](const std::string& why)
  {
    mPresetError = why;
    std::fprintf(stderr, "torva: preset not saved: %s\n", why.c_str());
    return false;
  };
  if (!mPlug) return false;
  std::string name = typed ? typed : "", why;
  if (!CleanPresetName(name, why)) return refuse(why);
  const std::string folder = UserPresetFolder();
  if (folder.empty()) return refuse("no folder for presets (neither XDG_DATA_HOME nor HOME set)");

  const int n = mPlug->NParams();
  const std::string path = folder + "/" + name + ".fxp";
  bool replace = false;
  for (const PresetFileEntry& e : ListPresetFolder(folder, mPlug->GetUniqueID(), n))
  {
    if (e.path != path) continue;
    // The menu offers a usable one, so typing its name means it; anything else stays.
    if (!e.usable)
      return refuse("'" + name + ".fxp' exists and is not a preset of this plug-in (" + e.reason +
                    ")");
    replace = true;
  }
  std::vector<float> values;
  for (int i = 0; i < n; ++i) values.push_back((float)mPlug->GetParam(i)->GetNormalized());
  std::string saved, error;
  if (!SaveUserPreset(folder, name, mPlug->GetUniqueID(), mPlug->GetEffectVersion(false), values,
                      replace, saved, error))
    return refuse(error);
  mPresetError.clear();
  return true;
}
