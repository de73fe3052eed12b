// The cabinet's cost as an LV2 host sees it: one timing host (lilv) runs, side by side in rounds,
// the bare amplifier (TORVA.lv2), TORVA Cab playing a 4096-tap stereo file, and another
// convolution plug-in found on the machine playing the same file, in 64-frame blocks at 48 kHz,
// and reports each one's time per block, its ratio to the bare amplifier and the latency it
// reports. Usage: bench_cab_cost [ROUNDS]. LV2_PATH should name the build's lv2/ folder and the
// system's (the CMake target sets it).

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <utility>
#include <string>
#include <vector>

namespace
{
constexpr double kRate = 48000;
constexpr int kBlock = 64;
constexpr int kTaps = 4096;
constexpr int kBlocksPerRound = 20000; // 26.7 s of audio

struct Map
{
  static LV2_URID Id(LV2_URID_Map_Handle h, const char* uri)
  {
    auto& ids = static_cast<Map*>(h)->ids;
    return ids.emplace(uri, (LV2_URID)ids.size() + 1).first->second;
  }
  LV2_URID operator()(const char* uri) { return Id(this, uri); }
  std::map<std::string, LV2_URID> ids;
  LV2_URID_Map map{this, Id};
};

// The worker feature, run in the host's own thread between blocks: the work a plug-in schedules
// is done before the next block, its answers delivered before the one after.
struct Worker
{
  static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle h, uint32_t size, const void* data)
  {
    auto* w = static_cast<Worker*>(h);
    auto* p = static_cast<const char*>(data);
    w->jobs.emplace_back(p, p + size);
    return LV2_WORKER_SUCCESS;
  }
  static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle h, uint32_t size, const void* data)
  {
    auto* w = static_cast<Worker*>(h);
    auto* p = static_cast<const char*>(data);
    w->answers.emplace_back(p, p + size);
    return LV2_WORKER_SUCCESS;
  }
  void Drain(LV2_Handle instance)
  {
    if (!iface) return;
    for (auto& job : std::exchange(jobs, {}))
      iface->work(instance, Respond, this, (uint32_t)job.size(), job.data());
    for (auto& answer : std::exchange(answers, {}))
      iface->work_response(instance, (uint32_t)answer.size(), answer.data());
  }
  const LV2_Worker_Interface* iface = nullptr;
  std::vector<std::vector<char>> jobs, answers;
  LV2_Worker_Schedule schedule{this, Schedule};
};

struct Plugin
{
  std::string label;
  const LilvPlugin* plugin = nullptr;
  LilvInstance* instance = nullptr;
  Worker worker;
  std::vector<float> controls;
  std::vector<std::vector<float>> audioIn, audioOut;
  std::vector<std::vector<uint64_t>> atomIn, atomOut;
  int latencyPort = -1;
  std::vector<double> nsPerBlock;
  bool convolving = true; // an impulse comes out spread over the response
};

void WriteStereoResponse(const std::string& path)
{
  SF_INFO info{};
  info.samplerate = (int)kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  std::vector<float> taps(2 * kTaps);
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0, 0.3f);
  for (int i = 0; i < kTaps; ++i)
    for (int c = 0; c < 2; ++c) taps[2 * i + c] = noise(rng) * std::exp(-6.0f * i / kTaps);
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) std::exit(1);
  sf_writef_float(f, taps.data(), kTaps);
  sf_close(f);
}

// Instantiates the plug-in with every control at its default (then the overrides by symbol) and
// every port connected; the file, when given, set through its first writable path property.
bool Open(LilvWorld* world, Map& map, Plugin& p, const std::map<std::string, float>& overrides,
          const std::string& file)
{
  const LV2_Feature mapFeature{LV2_URID__map, &map.map};
  const LV2_Feature workFeature{LV2_WORKER__schedule, &p.worker.schedule};
  // The block lengths, for a plug-in that sizes its buffers by them.
  const int32_t blockLength = kBlock;
  const float rate = (float)kRate;
  const LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0, map(LV2_BUF_SIZE__minBlockLength),
                                         sizeof(int32_t), map(LV2_ATOM__Int), &blockLength},
                                        {LV2_OPTIONS_INSTANCE, 0, map(LV2_BUF_SIZE__maxBlockLength),
                                         sizeof(int32_t), map(LV2_ATOM__Int), &blockLength},
                                        {LV2_OPTIONS_INSTANCE, 0, map(LV2_PARAMETERS__sampleRate),
                                         sizeof(float), map(LV2_ATOM__Float), &rate},
                                        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
  const LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
  const LV2_Feature* features[] = {&mapFeature, &workFeature, &optionsFeature, &boundedFeature,
                                   nullptr};
  p.instance = lilv_plugin_instantiate(p.plugin, kRate, features);
  if (!p.instance) return false;
  p.worker.iface = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(p.instance, LV2_WORKER__interface));
  LilvNode* audio = lilv_new_uri(world, LV2_CORE__AudioPort);
  LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
  LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
  LilvNode* atom = lilv_new_uri(world, LV2_ATOM__AtomPort);
  LilvNode* latency = lilv_new_uri(world, LV2_CORE__reportsLatency);
  const uint32_t n = lilv_plugin_get_num_ports(p.plugin);
  p.controls.assign(n, 0.0f);
  p.audioIn.reserve(n);
  p.audioOut.reserve(n);
  p.atomIn.reserve(n);
  p.atomOut.reserve(n);
  for (uint32_t i = 0; i < n; ++i)
  {
    const LilvPort* port = lilv_plugin_get_port_by_index(p.plugin, i);
    const bool in = lilv_port_is_a(p.plugin, port, input);
    if (lilv_port_is_a(p.plugin, port, audio))
    {
      auto& bufs = in ? p.audioIn : p.audioOut;
      bufs.emplace_back(kBlock, 0.0f);
      lilv_instance_connect_port(p.instance, i, bufs.back().data());
    }
    else if (lilv_port_is_a(p.plugin, port, control))
    {
      LilvNode* def = nullptr;
      lilv_port_get_range(p.plugin, port, &def, nullptr, nullptr);
      p.controls[i] = def ? lilv_node_as_float(def) : 0.0f;
      lilv_node_free(def);
      const char* symbol = lilv_node_as_string(lilv_port_get_symbol(p.plugin, port));
      if (auto it = overrides.find(symbol); it != overrides.end()) p.controls[i] = it->second;
      if (lilv_port_has_property(p.plugin, port, latency)) p.latencyPort = (int)i;
      lilv_instance_connect_port(p.instance, i, &p.controls[i]);
    }
    else if (lilv_port_is_a(p.plugin, port, atom))
    {
      auto& bufs = in ? p.atomIn : p.atomOut;
      bufs.emplace_back(8192, 0);
      lilv_instance_connect_port(p.instance, i, bufs.back().data());
    }
  }
  for (LilvNode* node : {audio, control, input, atom, latency}) lilv_node_free(node);
  lilv_instance_activate(p.instance);

  std::string property;
  if (!file.empty())
  {
    LilvNode* writable = lilv_new_uri(world, LV2_PATCH__writable);
    LilvNodes* props =
        lilv_world_find_nodes(world, lilv_plugin_get_uri(p.plugin), writable, nullptr);
    // The first by name, for a plug-in with several (file 1 of 2).
    LILV_FOREACH(nodes, it, props)
    {
      const std::string uri = lilv_node_as_uri(lilv_nodes_get(props, it));
      if (property.empty() || uri < property) property = uri;
    }
    lilv_nodes_free(props);
    lilv_node_free(writable);
    if (property.empty()) return false;
  }
  // Hosts without the plug-in's editor also hand a file over as restored state: the path under
  // the property's key. A plug-in that answers patch messages takes the message below as well.
  struct Restoring
  {
    LV2_URID key, type;
    const std::string* path;
  } restoring{map(property.c_str()), map(LV2_ATOM__Path), &file};
  const auto* state = static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(p.instance, LV2_STATE__interface));
  if (state && !property.empty())
  {
    auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                       uint32_t* flags) -> const void*
    {
      auto* r = static_cast<Restoring*>(h);
      if (key != r->key) return nullptr;
      *size = r->path->size() + 1;
      *type = r->type;
      *flags = LV2_STATE_IS_POD;
      return r->path->c_str();
    };
    const LV2_Feature* stateFeatures[] = {&mapFeature, &workFeature, nullptr};
    state->restore(lilv_instance_get_handle(p.instance), retrieve, &restoring, 0, stateFeatures);
  }
  // A few seconds of silence while the file loads, messages on the first block only.
  for (int block = 0; block < 2000; ++block)
  {
    for (auto& seq : p.atomIn)
    {
      LV2_Atom_Forge forge;
      lv2_atom_forge_init(&forge, &map.map);
      lv2_atom_forge_set_buffer(&forge, (uint8_t*)seq.data(), seq.size() * 8);
      LV2_Atom_Forge_Frame frame, object;
      lv2_atom_forge_sequence_head(&forge, &frame, 0);
      if (block == 0 && !property.empty())
      {
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, map(LV2_PATCH__Set));
        lv2_atom_forge_key(&forge, map(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge, map(property.c_str()));
        lv2_atom_forge_key(&forge, map(LV2_PATCH__value));
        lv2_atom_forge_path(&forge, file.c_str(), (uint32_t)file.size());
        lv2_atom_forge_pop(&forge, &object);
      }
      lv2_atom_forge_pop(&forge, &frame);
    }
    for (auto& seq : p.atomOut)
      reinterpret_cast<LV2_Atom*>(seq.data())->size = (uint32_t)(seq.size() * 8 - sizeof(LV2_Atom));
    lilv_instance_run(p.instance, kBlock);
    p.worker.Drain(lilv_instance_get_handle(p.instance));
    if (block % 20 == 0) usleep(5000); // room for a plug-in's own loading thread
  }
  return true;
}

// The input's spread through the plug-in: samples of the output of one impulse above -100 dB.
int HeardTaps(Plugin& p)
{
  int heard = 0;
  for (int block = 0; block < 2 * kTaps / kBlock + 64; ++block)
  {
    for (auto& in : p.audioIn) std::fill(in.begin(), in.end(), 0.0f);
    if (block == 0)
      for (auto& in : p.audioIn) in[0] = 1.0f;
    lilv_instance_run(p.instance, kBlock);
    for (float y : p.audioOut[0]) heard += std::fabs(y) > 1e-5f;
  }
  return heard;
}

void TimeRound(Plugin& p, std::mt19937& rng)
{
  std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
  for (auto& seq : p.atomIn)
  {
    auto* s = reinterpret_cast<LV2_Atom_Sequence*>(seq.data());
    s->atom.size = sizeof(LV2_Atom_Sequence_Body);
  }
  const auto start = std::chrono::steady_clock::now();
  for (int block = 0; block < kBlocksPerRound; ++block)
  {
    for (auto& in : p.audioIn)
      for (float& x : in) x = noise(rng);
    for (auto& seq : p.atomOut)
      reinterpret_cast<LV2_Atom*>(seq.data())->size = (uint32_t)(seq.size() * 8 - sizeof(LV2_Atom));
    lilv_instance_run(p.instance, kBlock);
  }
  const double ns =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  p.nsPerBlock.push_back(ns / kBlocksPerRound);
}
} // namespace

int main(int argc, char** argv)
{
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char dirTemplate[] = "/tmp/cab-cost-XXXXXX";
  if (!mkdtemp(dirTemplate)) return 1;
  const std::string file = std::string(dirTemplate) + "/stereo-4096.wav";
  WriteStereoResponse(file);

  LilvWorld* world = lilv_world_new();
  lilv_world_load_all(world);
  const LilvPlugins* all = lilv_world_get_all_plugins(world);
  Map map;
  struct Case
  {
    const char* label;
    const char* uri;
    std::map<std::string, float> controls;
    bool withFile;
  };
  const Case cases[] = {
      {"TORVA (the bare amplifier)", "urn:brindlecircuits:torva", {}, false},
      {"TORVA Cab, 4096-tap stereo file", "urn:brindlecircuits:torva-cab", {{"cabinet", 4}}, true},
      {"LSP Impulse Responses Stereo, same file",
       "http://lsp-plug.in/plugins/lv2/impulse_responses_stereo",
       {{"cs_l", 1}, {"cs_r", 2}},
       true}, // left and right of file 1
  };
  std::vector<Plugin> plugins;
  plugins.reserve(3);
  for (const Case& c : cases)
  {
    LilvNode* uri = lilv_new_uri(world, c.uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(all, uri);
    lilv_node_free(uri);
    if (!plugin)
    {
      std::printf("%-42s not installed (%s)\n", c.label, c.uri);
      continue;
    }
    plugins.emplace_back();
    Plugin& p = plugins.back();
    p.label = c.label;
    p.plugin = plugin;
    if (!Open(world, map, p, c.controls, c.withFile ? file : ""))
    {
      std::printf("%-42s cannot be opened\n", c.label);
      plugins.pop_back();
      continue;
    }
    const int heard = HeardTaps(p);
    p.convolving = !c.withFile || heard >= kTaps / 2;
    std::printf("%-42s impulse heard over %d samples%s\n", c.label, heard,
                p.convolving ? "" : ": it took no file here, its time is not the same work");
  }
  std::mt19937 rng(1);
  for (int r = 0; r < rounds; ++r)
    for (Plugin& p : plugins) TimeRound(p, rng);

  const double blockNs = kBlock / kRate * 1e9;
  double amp = 0;
  std::printf("\n%-42s %12s %10s %12s %8s\n", "plug-in (48 kHz, 64-frame blocks)", "ns/block",
              "vs amp", "% of a core", "latency");
  for (Plugin& p : plugins)
  {
    std::sort(p.nsPerBlock.begin(), p.nsPerBlock.end());
    const double median = p.nsPerBlock[p.nsPerBlock.size() / 2];
    if (amp == 0) amp = median;
    const int latency =
        p.latencyPort >= 0 ? (int)std::lround(p.controls[(size_t)p.latencyPort]) : 0;
    std::printf("%-42s %12.0f %9.2fx %11.2f%% %8d\n", p.label.c_str(), median, median / amp,
                100 * median / blockNs, latency);
  }
  for (Plugin& p : plugins)
  {
    lilv_instance_deactivate(p.instance);
    lilv_instance_free(p.instance);
  }
  lilv_world_free(world);
  unlink(file.c_str());
  rmdir(dirTemplate);
  return 0;
}
