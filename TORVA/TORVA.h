#pragma once

// TORVA: the guitar-amplifier plug-in.
//
// Eight parameters drive a stereo amplifier model (TORVA_PATH): input filter and coupling stage,
// two drive gains into two clipping curves, a three-knob tone stack, a presence filter and a
// master level. Bypass passes the input through. The members the signal path reads receive
// their values only through OnParamChange, which the framework calls for every parameter when
// the host opens the plug-in and whenever parameter values are restored.

#include "TORVA/TORVA_PATH.h"

// Everything the host sees goes through the host adapter the library is built on; the signal
// path (TORVA_PATH) knows neither.
#include "framework/IPlugAdapter.h"

class TORVA : public IPlugAdapter
{
public:
  enum EParams
  {
    kBass = 0,
    kMaster,
    kMiddle,
    kPresence,
    kTreble,
    kVolume1,
    kVolume2,
    kBypass,
    kNumParams
  };

  explicit TORVA(IPlugInstanceInfo instanceInfo);
  ~TORVA() override;

  // Takes and releases the plug-in lock; nothing else. The filter memories are kept across
  // resets, sample-rate changes and suspend/resume.
  void Reset() override;
  // Recomputes the position or gain that belongs to the parameter. Takes the plug-in lock.
  void OnParamChange(int paramIdx) override;
  // Runs one block through both channels. Audio thread, plug-in lock held; reads input
  // channels 0 and 1 and writes output channels 0 and 1, which the processing frame supplies
  // whether or not the host connected them.
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;

  // The positions and gains the signal path runs with.
  const TORVA_PATH::Settings& GetSettings() const { return mSettings; }
  const TORVA_PATH& GetPath() const { return mPath; }

private:
  // Until the first announcement of the parameters, the values their defaults give.
  TORVA_PATH::Settings mSettings = {
      0.7, 0.6309573444801932, 0.3, 0.3, 0.4, 3.1622776601683795, 3.1622776601683795};
  TORVA_PATH mPath;
};

class IGraphicsLinux;
// The product's editor factory: the X11 editor host of the given size and refresh rate (0 for
// the default) for the plug-in. Opens no window.
IGraphicsLinux* MakeGraphics(IPlugAdapter* pPlug, int w, int h, int fps);
