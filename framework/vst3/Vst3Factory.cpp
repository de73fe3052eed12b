// The module's factory: one class, the product, built through MakePlug.
//
// What the class info shows (name, vendor, version, identifier) is the product's own: one
// instance is made the first time a host asks and let go of at once, so that nothing of the
// product's identity is written twice. The factory is static; hosts' references count but
// never delete it.

#include <cstring>

#include "framework/IParam.h"
#include "framework/WDL_Mutex.h"
#include "framework/vst3/IPlugVST3.h"

using namespace vst3;

namespace
{

// Hosts may create instances from several threads at once; the product's constructor and the
// preset filling run one at a time, as for the other formats' entries.
WDL_Mutex& ConstructMutex()
{
  static WDL_Mutex sMutex;
  return sMutex;
}

IPlugVST3* Construct()
{
  WDL_MutexLock lock(&ConstructMutex());
  IPlugVST3* pPlug = MakePlug(IPlugInstanceInfo{});
  if (pPlug) pPlug->EnsureDefaultPreset();
  return pPlug;
}

struct Identity
{
  bool ok = false;
  char cid[16] = {};
  char name[64] = {};
  char vendor[64] = {};
  char version[64] = {};
};

Identity const& TheIdentity()
{
  static Identity const sIdentity = []
  {
    Identity id;
    if (IPlugVST3* pPlug = Construct())
    {
      id.ok = true;
      IPlugVST3::ClassID(pPlug->GetMfrID(), pPlug->GetUniqueID(), id.cid);
      detail::CopyBounded(id.name, pPlug->GetEffectName(), sizeof id.name);
      detail::CopyBounded(id.vendor, pPlug->GetMfrName(), sizeof id.vendor);
      // "1.0.0", without the "v" the base's string starts with.
      char version[kMaxEffectNameLen] = {};
      pPlug->GetEffectVersionStr(version);
      detail::CopyBounded(id.version, version[0] == 'v' ? version + 1 : version, sizeof id.version);
      pPlug->release();
    }
    return id;
  }();
  return sIdentity;
}

void Widen(char const* s, char16* out, int cap)
{
  int n = 0;
  for (; s && s[n] && n < cap - 1; ++n) out[n] = static_cast<unsigned char>(s[n]);
  out[n] = 0;
}

constexpr char kSdkVersion[] = "VST 3.7.0";

class ModuleFactory final : public IPluginFactory3
{
public:
  tresult queryInterface(TUID const iid, void** obj) override
  {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (!kFUnknownIID.Is(iid) && !kIPluginFactoryIID.Is(iid) && !kIPluginFactory2IID.Is(iid) &&
        !kIPluginFactory3IID.Is(iid))
      return kNoInterface;
    *obj = this;
    addRef();
    return kResultOk;
  }
  uint32_t addRef() override { return ++mRefCount; }
  uint32_t release() override { return mRefCount > 0 ? --mRefCount : 0; }

  tresult getFactoryInfo(PFactoryInfo* info) override
  {
    if (!info) return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    detail::CopyBounded(info->vendor, TheIdentity().vendor, sizeof info->vendor);
    info->flags = PFactoryInfo::kUnicode;
    return kResultOk;
  }

  int32_t countClasses() override { return TheIdentity().ok ? 1 : 0; }

  tresult getClassInfo(int32_t index, PClassInfo* info) override
  {
    if (!info || index != 0 || !TheIdentity().ok) return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->cid, TheIdentity().cid, sizeof info->cid);
    info->cardinality = kManyInstances;
    detail::CopyBounded(info->category, kVstAudioEffectClass, sizeof info->category);
    detail::CopyBounded(info->name, TheIdentity().name, sizeof info->name);
    return kResultOk;
  }

  tresult getClassInfo2(int32_t index, PClassInfo2* info) override
  {
    if (!info || index != 0 || !TheIdentity().ok) return kInvalidArgument;
    Identity const& id = TheIdentity();
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->cid, id.cid, sizeof info->cid);
    info->cardinality = kManyInstances;
    detail::CopyBounded(info->category, kVstAudioEffectClass, sizeof info->category);
    detail::CopyBounded(info->name, id.name, sizeof info->name);
    info->classFlags = 0; // one object for both halves: not distributable
    detail::CopyBounded(info->subCategories, Vst3SubCategories(), sizeof info->subCategories);
    detail::CopyBounded(info->vendor, id.vendor, sizeof info->vendor);
    detail::CopyBounded(info->version, id.version, sizeof info->version);
    detail::CopyBounded(info->sdkVersion, kSdkVersion, sizeof info->sdkVersion);
    return kResultOk;
  }

  tresult getClassInfoUnicode(int32_t index, PClassInfoW* info) override
  {
    PClassInfo2 narrow;
    if (!info || getClassInfo2(index, &narrow) != kResultOk) return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->cid, narrow.cid, sizeof info->cid);
    info->cardinality = narrow.cardinality;
    std::memcpy(info->category, narrow.category, sizeof info->category);
    Widen(narrow.name, info->name, 64);
    info->classFlags = narrow.classFlags;
    std::memcpy(info->subCategories, narrow.subCategories, sizeof info->subCategories);
    Widen(narrow.vendor, info->vendor, 64);
    Widen(narrow.version, info->version, 64);
    Widen(narrow.sdkVersion, info->sdkVersion, 64);
    return kResultOk;
  }

  tresult setHostContext(FUnknown*) override { return kResultOk; }

  // Any interface of the one class; the new object's only reference is the caller's.
  tresult createInstance(FIDString cid, FIDString iid, void** obj) override
  {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (!cid || !iid || !TheIdentity().ok || std::memcmp(cid, TheIdentity().cid, 16))
      return kNoInterface;
    IPlugVST3* pPlug = Construct();
    if (!pPlug) return kResultFalse;
    tresult const result = pPlug->queryInterface(iid, obj);
    pPlug->release();
    return result;
  }

private:
  std::atomic<uint32_t> mRefCount{0};
};

} // namespace

IPluginFactory* IPlugVST3::Factory()
{
  static ModuleFactory sFactory;
  return &sFactory;
}
