// `torva play`: a chain of VST 2 plug-ins hosted live as a JACK client.
//
// The client is named after the plug-ins and has one input port per input of the first (in_1,
// ...) and one output port per output of the last (out_1, ...). The chain runs in the process
// callback at the server's period and rate (LiveEngine); a change of either while playing
// reaches every plug-in as suspend, the new value, resume. With `mConnect` the physical capture
// ports feed the inputs and the outputs go to the physical playback ports; otherwise the ports
// wait for a patchbay. With `mEditor` each plug-in's editor is shown and closing the last one
// ends the session; otherwise SIGINT or SIGTERM does. Ending deactivates the client, closes the
// plug-ins, then the client.
//
// Another thread samples the server's DSP load every half second and counts xruns; on a
// terminal it redraws one status line with them. A summary line is printed when playing ends.

#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

struct PlayOptions
{
  std::vector<std::string> mPluginPaths; // in the order the audio goes through them
  std::vector<std::string> mSettings;    // "[PLUG-IN:]NAME=VALUE", applied after the presets
  std::vector<std::string> mPresetPaths; // "[PLUG-IN:]FILE"
  bool mConnect = false;
  bool mEditor = false;
};

// Plays until stopped. Returns false with a one-line error when it could not start (no JACK
// server, an unusable plug-in, a bad setting) or when an editor failed; `usage` is set when a
// setting or preset did not say clearly which plug-in it is for.
bool Play(const PlayOptions& options, std::chrono::steady_clock::time_point started,
          std::string& error, bool& usage);

// Which physical port each plug-in port is connected to, as (plug-in port, physical port)
// pairs: port i takes physical port i, wrapping around when there are fewer physical ports (a
// stereo plug-in behind a single input hears it on both sides). With `fanOut`, a single port
// also reaches the second physical port (a mono plug-in on both speakers).
std::vector<std::pair<int, int>> SpreadLinks(int ports, int physical, bool fanOut);
