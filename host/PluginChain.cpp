#include "host/PluginChain.h"

#include "host/VstHost.h"

#include <algorithm>
#include <type_traits>

PluginChain::PluginChain() = default;

PluginChain::~PluginChain()
{
  Unload();
}

bool PluginChain::Load(const std::vector<std::string>& paths, int processLevel, std::string& error)
{
  Unload();
  if (paths.empty())
  {
    error = "no plug-in to load";
    return false;
  }
  for (const std::string& path : paths)
  {
    auto host = std::make_unique<VstHost>();
    host->SetProcessLevel(processLevel);
    if (!host->Load(path, error))
    {
      Unload();
      return false;
    }
    host->Open();
    std::string stem = path.substr(path.find_last_of('/') + 1);
    if (stem.size() > 3 && stem.compare(stem.size() - 3, 3, ".so") == 0)
      stem.resize(stem.size() - 3);
    const std::string name = host->EffectName();
    mNames.push_back(name.empty() ? stem : name);
    mStems.push_back(stem);
    mPlugins.push_back(std::move(host));
  }
  return true;
}

void PluginChain::Unload()
{
  while (!mPlugins.empty()) mPlugins.pop_back(); // the last first, as it was loaded last
  mNames.clear();
  mStems.clear();
  mPlans.clear();
  mFloat = {};
  mDouble = {};
}

std::string PluginChain::Who(size_t i) const
{
  return Size() == 1 ? "the plug-in" : "plug-in " + std::to_string(i + 1) + " (" + mNames[i] + ")";
}

std::string PluginChain::Names() const
{
  std::string names;
  for (const std::string& name : mNames) names += (names.empty() ? "" : " -> ") + name;
  return names;
}

int PluginChain::Inputs() const
{
  return mPlugins.empty() ? 0 : mPlugins.front()->Effect()->numInputs;
}

int PluginChain::Outputs() const
{
  return mPlugins.empty() ? 0 : mPlugins.back()->Effect()->numOutputs;
}

int PluginChain::Latency() const
{
  int frames = 0;
  for (const auto& p : mPlugins) frames += std::max(p->Effect()->initialDelay, 0);
  return frames;
}

bool PluginChain::PlanChannels(int channels, std::string& error)
{
  std::vector<PluginShape> shapes;
  for (size_t i = 0; i < Size(); ++i)
  {
    const AEffect* e = mPlugins[i]->Effect();
    shapes.push_back({e->numInputs, e->numOutputs, (e->flags & effFlagsCanMono) != 0, Who(i)});
  }
  mFloat.mFrames = mDouble.mFrames = 0; // made again for the new plans
  return PlanChain(channels, shapes, mPlans, error);
}

void PluginChain::ReserveFrames(int frames)
{
  mFrames = std::max(mFrames, frames);
}

void PluginChain::Prepare(double sampleRate, int blockSize)
{
  ReserveFrames(blockSize);
  for (const auto& p : mPlugins) p->Prepare(sampleRate, blockSize);
}

void PluginChain::Resume(bool doublePrecision)
{
  if (doublePrecision)
    Build(mDouble);
  else
    Build(mFloat);
  for (size_t i = 0; i < Size(); ++i)
  {
    mPlugins[i]->SetChannels(mPlans[i].mInputs, mPlans[i].mOutputs);
    mPlugins[i]->Resume(doublePrecision);
  }
}

void PluginChain::Suspend()
{
  for (auto p = mPlugins.rbegin(); p != mPlugins.rend(); ++p) (*p)->Suspend();
}

// Plug-in k writes all its outputs into buffers of its own; plug-in k + 1 reads the first ones,
// as many as k has in use, and silence on the inputs beyond them.
template <typename T> void PluginChain::Build(Links<T>& links)
{
  if (links.mFrames >= mFrames || mPlans.size() != Size()) return;
  links = {};
  links.mFrames = mFrames;
  links.mIns.resize(Size());
  links.mOuts.resize(Size());
  links.mSilent.resize(Size());
  auto buffer = [&]
  {
    links.mBuffers.emplace_back(size_t(mFrames), T(0));
    return links.mBuffers.back().data();
  };
  for (size_t k = 0; k + 1 < Size(); ++k)
  {
    for (int c = 0; c < mPlugins[k]->Effect()->numOutputs; ++c) links.mOuts[k].push_back(buffer());
    const int inputs = mPlugins[k + 1]->Effect()->numInputs;
    for (int c = 0; c < inputs; ++c)
    {
      const bool fed = c < mPlans[k + 1].mInputs;
      links.mIns[k + 1].push_back(fed ? links.mOuts[k][size_t(c)] : buffer());
      if (!fed) links.mSilent[k + 1].push_back(links.mIns[k + 1].back());
    }
  }
}

template <typename T> void PluginChain::Run(Links<T>& links, T** inputs, T** outputs, int frames)
{
  const size_t last = Size() - 1;
  for (size_t k = 0; k <= last; ++k)
  {
    // A plug-in may write into its inputs: what it left there must not be heard.
    for (T* silent : links.mSilent[k]) std::fill(silent, silent + frames, T(0));
    T** ins = k == 0 ? inputs : links.mIns[k].data();
    T** outs = k == last ? outputs : links.mOuts[k].data();
    if constexpr (std::is_same_v<T, float>)
      mPlugins[k]->ProcessFloat(ins, outs, frames);
    else
      mPlugins[k]->ProcessDouble(ins, outs, frames);
  }
}

void PluginChain::ProcessFloat(float** inputs, float** outputs, int frames)
{
  if (Size() == 1)
    mPlugins[0]->ProcessFloat(inputs, outputs, frames);
  else if (Size() > 1 && frames <= mFloat.mFrames)
    Run(mFloat, inputs, outputs, frames);
}

void PluginChain::ProcessDouble(double** inputs, double** outputs, int frames)
{
  if (Size() == 1)
    mPlugins[0]->ProcessDouble(inputs, outputs, frames);
  else if (Size() > 1 && frames <= mDouble.mFrames)
    Run(mDouble, inputs, outputs, frames);
}
