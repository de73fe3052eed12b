#pragma once
// The Turtle of an LV2 bundle, written from a plug-in instance's own tables at build time, so
// that what hosts read cannot drift from the code: the manifest, and the plug-in's description
// with one port per channel and per parameter, and its X11 editor.

#include <string>
#include <vector>

class IPlugLV2;

// manifest.ttl: the plug-in and its editor, both in binary, described in dataFile.
std::string LV2ManifestTurtle(char const* binary, char const* dataFile);
// The plug-in's description: name, vendor, version, ports (plain units, ranges and defaults of
// the parameters; toggled, integer or enumerated where the parameter is), the state interface
// and the editor; a product whose state names a file adds the patch ports and the file as a
// writable atom:Path property. pluginClass is the LV2 class hosts file the plug-in under.
std::string LV2PluginTurtle(IPlugLV2& plug, char const* binary,
                            char const* pluginClass = "lv2:AmplifierPlugin");
// The factory presets: their URIs (the plug-in's, "#preset_" and the name as a slug), the
// manifest's lines naming them (to append to the manifest) and their descriptions: label,
// comment, a value for every control port and, where the state is the parameters alone, that
// state as a host saves it. Sets the instance's parameters to each row in turn.
std::vector<std::string> LV2PresetURIs(IPlugLV2& plug);
std::string LV2PresetsManifest(IPlugLV2& plug, char const* presetsFile);
std::string LV2PresetsTurtle(IPlugLV2& plug);
// One symbol per name: lower-case ASCII letters, digits and '_', never starting with a digit,
// never empty, unique within the list ("Volume 1" -> "volume_1").
std::vector<std::string> LV2PortSymbols(std::vector<std::string> const& names);
