// Ardour 7, headless (ardour7-lua on its Dummy backend), renders a file through TORVA.vst3 offline
// and gets the very samples `torva render` gets through TORVA.so with the same settings. Skips
// where Ardour is not installed, and in sanitized builds (Ardour cannot load such a module).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/CliHarness.h"
#include "support/Sanitized.h"
#include "vst3/Vst3Host.h"

namespace
{
// arg: session folder, input (stereo float WAV), its frames, Master, Volume 1. Ardour's Lua has
// no import, so the file goes into the saved session as a region of its own (its default fades
// off: they would shape its ends), and the reloaded track bounces it through the
// plug-in only, before the fader, panner and master bus. Prints the bounced files, one a channel.
const char kScript[] = R"lua(
local dir, input, frames = arg[1], arg[2], tonumber(arg[3])
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start(false)
create_session(dir, "amp", 48000)
local track = Session:new_audio_track(2, 2, nil, 1, "amp", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
local torva = ARDOUR.LuaAPI.new_plugin(Session, "TORVA", ARDOUR.PluginType.VST3, "")
assert(not torva:isnil(), "TORVA.vst3 not found")
assert(track:add_processor_by_index(torva, 0, nil, true) == 0)
assert(ARDOUR.LuaAPI.set_processor_param(torva, 1, tonumber(arg[4])))
assert(ARDOUR.LuaAPI.set_processor_param(torva, 5, tonumber(arg[5])))
Session:save_state("", false, false, false, false, false)
close_session()

local f = assert(io.open(dir .. "/amp.ardour")); local xml = f:read("a"); f:close()
local superclocks = tonumber(xml:match('superclocks%-per%-second="(%d+)"'))
local function source(id, channel)
  return string.format('<Source name="%s" type="audio" flags="" id="%d" channel="%d" origin=""/>',
                       input, id, channel)
end
xml = xml:gsub("<Sources/>", "<Sources>" .. source(900001, 0) .. source(900002, 1) .. "</Sources>", 1)
local region = string.format('<Region name="in" start="a0" length="a%d@a0" id="900003" ' ..
  'type="audio" channels="2" source-0="900001" source-1="900002" master-source-0="900001" ' ..
  'master-source-1="900002" fade-in-active="0" fade-out-active="0" envelope-active="0" ' ..
  'scale-amplitude="1" muted="0" opaque="1"/>', frames * superclocks // 48000)
local n
xml, n = xml:gsub('(<Playlist [^>]*name="amp"[^>]*)/>', "%1>" .. region .. "</Playlist>", 1)
assert(n == 1, "the track's playlist is not in the session file")
f = assert(io.open(dir .. "/amp.ardour", "w")); f:write(xml); f:close()

load_session(dir, "amp")
track = Session:route_by_name("amp"):to_track()
torva = track:nth_plugin(0)
local out = track:bounce_range(0, frames, ARDOUR.InterThreadInfo(), torva, true, "out", false)
assert(not out:isnil(), "the bounce made no region")
for i = 0, 1 do print("bounced " .. out:source(i):to_filesource():path()) end
close_session()
)lua";

std::string Shell(std::string const& command)
{
  std::string out;
  if (FILE* pipe = popen((command + " 2>&1").c_str(), "r"))
  {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command << "\n" << out;
  }
  return out;
}

constexpr char kScanner[] = "/usr/lib/ardour7/ardour-vst3-scanner";

TEST(Vst3Ardour, BounceThroughTheModuleEqualsTorvaRenderBitForBit)
{
  if (torva_test::Sanitized()) GTEST_SKIP() << "ardour cannot load a sanitized module";
  if (access(kScanner, X_OK) != 0 || std::system("command -v ardour7-lua >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ardour7-lua is not installed (ardour)";
  std::string const module = vst3host::ModulePath();
  std::string const bundle = module.substr(0, module.rfind("/Contents/"));
  TempDir dir;
  long const frames = 48000 + 321; // not a whole number of anyone's blocks
  WriteAudio(dir / "in.wav", TestSignal(2, 48000, frames));
  // A fresh home: Ardour loads a VST 3 only once its scanner has cached it, and the cache goes
  // there. Both settings are exact in either format's normalised values (0.25 and 0.75).
  std::string const env = "HOME='" + dir.Path() + "' XDG_CONFIG_HOME='" + dir.Path() +
                          "/config' XDG_CACHE_HOME='" + dir.Path() + "/cache' ";
  Shell(env + "LD_LIBRARY_PATH=/usr/lib/ardour7 " + kScanner + " -q '" + bundle + "'");
  WriteText(dir / "bounce.lua", kScript);
  std::string const out =
      Shell(env + "VST3_PATH='" + bundle.substr(0, bundle.rfind('/')) + "' ardour7-lua -- '" +
            (dir / "bounce.lua") + "' '" + (dir / "session") + "' '" + (dir / "in.wav") + "' " +
            std::to_string(frames) + " -10 37.5");
  std::vector<std::string> bounced;
  for (std::string const& line : Lines(out))
    if (line.rfind("bounced ", 0) == 0) bounced.push_back(line.substr(8));
  ASSERT_EQ(bounced.size(), 2u) << out;

  RunResult const render =
      RunTorva({"render", BinaryPath("TORVA.so"), dir / "in.wav", dir / "out.wav", "--set",
                "Master=-10", "--set", "Volume 1=37.5", "--precision", "float"});
  ASSERT_EQ(render.mExit, 0) << render.mErr;
  Audio const expected = ReadAudio(dir / "out.wav");
  EXPECT_GT(Peak(expected), 0.01);
  for (int c = 0; c < 2; ++c)
  {
    Audio const got = ReadAudio(bounced[c]);
    EXPECT_EQ(got.mFormat, SF_FORMAT_WAV | SF_FORMAT_FLOAT) << bounced[c];
    EXPECT_EQ(MaxDiff(got, Channel(expected, c)), 0.0) << "channel " << c << "\n" << out;
  }
}
} // namespace
