#pragma once
// The editor's graphics context, as far as the plug-in base and the host adapter use it.
//
// This is the part of IGraphics that the framework calls: pushing parameter values into the
// controls, preparing the back bitmap, the editor's size and opening and closing its window.
// The editor framework completes the class (controls, drawing, input, the redraw cycle); the
// calls the framework makes stay virtual, so the framework library links without it.

class IPlugBase;

class IGraphics
{
public:
  // pPlug: the plug-in the editor belongs to; w, h: editor size in pixels; fps: redraw checks
  // per second (25 when not positive).
  IGraphics(IPlugBase* pPlug, int w, int h, int fps = 0)
      : mPlug(pPlug), mWidth(w), mHeight(h), mFPS(fps > 0 ? fps : 25)
  {
  }
  // The plug-in base deletes its attached editor through this.
  virtual ~IGraphics() {}

  // Moves every control bound to paramIdx to value (a normalised position when normalized, else
  // a plain value). Called with the plug-in lock held, from any host thread.
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
  // Creates the drawing surfaces; called once by the plug-in base when the editor is attached.
  virtual void PrepDraw() = 0;
  // Creates the editor window inside the host's parent window; returns it, or null.
  virtual void* OpenWindow(void* pParentWnd) = 0;
  virtual void CloseWindow() = 0;

  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  IPlugBase* GetPlug() const { return mPlug; }

protected:
  IPlugBase* mPlug;
  int mWidth;
  int mHeight;
  int mFPS;
};
