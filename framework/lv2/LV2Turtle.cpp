#include "framework/lv2/LV2Turtle.h"

#include <charconv>
#include <cstdio>
#include <set>

#include "framework/Base64.h"
#include "framework/lv2/IPlugLV2.h"

namespace
{
// Shortest text that reads back as the same double, with '.' whatever the locale.
std::string Number(double v)
{
  char buf[64];
  auto const res = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, res.ptr);
  // Turtle reads "1" as an integer and "1.0" as a decimal; both are fine for a port value, but
  // a decimal keeps the float ports' values recognisably real.
  if (s.find_first_of(".eE") == std::string::npos && s.find_first_of("ni") == std::string::npos)
    s += ".0";
  return s;
}

// A Turtle string literal.
std::string Quoted(std::string const& text)
{
  std::string out = "\"";
  for (char c : text)
  {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n')
      out += "\\n";
    else if (static_cast<unsigned char>(c) >= 0x20)
      out += c;
  }
  return out + "\"";
}

char const* const kPrefixes = "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
                              "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
                              "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
                              "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
                              "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
                              "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
                              "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
                              "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                              "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
                              "@prefix rsz:   <http://lv2plug.in/ns/ext/resize-port#> .\n"
                              "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                              "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
                              "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n\n";
} // namespace

namespace
{
// Lower-case ASCII letters, digits and '_' for each name, unique within the list; a symbol (not
// a URI's end) never starts with a digit.
std::vector<std::string> Slugs(std::vector<std::string> const& names, bool symbol)
{
  std::vector<std::string> symbols;
  std::set<std::string> taken;
  for (std::string const& name : names)
  {
    std::string s;
    for (char c : name)
    {
      bool const alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (alnum)
        s += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      else if (!s.empty() && s.back() != '_')
        s += '_';
    }
    while (!s.empty() && s.back() == '_') s.pop_back();
    if (s.empty() || (symbol && s[0] >= '0' && s[0] <= '9')) s = "p_" + s;
    std::string unique = s;
    for (int n = 2; taken.count(unique); ++n) unique = s + "_" + std::to_string(n);
    taken.insert(unique);
    symbols.push_back(unique);
  }
  return symbols;
}
} // namespace

std::vector<std::string> LV2PortSymbols(std::vector<std::string> const& names)
{
  return Slugs(names, true);
}

std::string LV2ManifestTurtle(char const* binary, char const* dataFile)
{
  std::string const plugin = std::string("<") + LV2PluginURI() + ">";
  std::string const editor = std::string("<") + IPlugLV2::EditorURI() + ">";
  return std::string(kPrefixes) + plugin + "\n    a lv2:Plugin ;\n    lv2:binary <" + binary +
         "> ;\n    rdfs:seeAlso <" + dataFile + "> .\n\n" + editor +
         "\n    a ui:X11UI ;\n    ui:binary <" + binary + "> ;\n    rdfs:seeAlso <" + dataFile +
         "> .\n";
}

namespace
{
// Every port's symbol, in port order.
std::vector<std::string> PortSymbols(IPlugLV2& plug)
{
  std::vector<std::string> names;
  for (int i = 0; i < plug.NInChannels(); ++i) names.push_back("in " + std::to_string(i + 1));
  for (int i = 0; i < plug.NOutChannels(); ++i) names.push_back("out " + std::to_string(i + 1));
  for (int i = 0; i < plug.NParams(); ++i) names.push_back(plug.GetParam(i)->GetNameForHost());
  if (plug.HasFileProperty()) names.push_back("control"), names.push_back("notify");
  return LV2PortSymbols(names);
}
} // namespace

std::string LV2PluginTurtle(IPlugLV2& plug, char const* binary, char const* pluginClass)
{
  int const nIn = plug.NInChannels(), nOut = plug.NOutChannels();
  bool const hasFile = plug.HasFileProperty();
  std::vector<std::string> const symbols = PortSymbols(plug);

  int const version = plug.GetEffectVersion(false);
  std::string t = kPrefixes;
  std::string const file = std::string("<") + IPlugLV2::FilePropertyURI() + ">";
  if (hasFile)
    t += file + "\n    a lv2:Parameter ;\n    rdfs:label " + Quoted(plug.FilePropertyLabel()) +
         " ;\n    rdfs:range atom:Path .\n\n";
  t += std::string("<") + LV2PluginURI() + ">\n    a lv2:Plugin, " + pluginClass + " ;\n";
  t += "    doap:name " + Quoted(plug.GetEffectName()) + " ;\n";
  t += "    doap:maintainer [ foaf:name " + Quoted(plug.GetMfrName()) + " ] ;\n";
  // The version's minor and micro numbers, as the format wants them (the major one is not part
  // of it; an even minor number marks a release).
  t += "    lv2:minorVersion " + std::to_string((version >> 8) & 0xFF) + " ;\n";
  t += "    lv2:microVersion " + std::to_string(version & 0xFF) + " ;\n";
  t += "    lv2:optionalFeature urid:map ;\n";
  t += "    lv2:extensionData state:interface ;\n";
  if (hasFile) t += "    patch:writable " + file + " ;\n";
  t += std::string("    ui:ui <") + IPlugLV2::EditorURI() + "> ;\n";
  t += "    lv2:port";
  uint32_t port = 0;
  auto const open = [&](char const* types)
  {
    t += std::string(port ? " ,\n        [\n" : "\n        [\n") + "            a " + types +
         " ;\n            lv2:index " + std::to_string(port) + " ;\n            lv2:symbol \"" +
         symbols[port] + "\" ;\n";
  };
  for (int i = 0; i < nIn + nOut; ++i, ++port)
  {
    bool const input = i < nIn;
    open(input ? "lv2:AudioPort, lv2:InputPort" : "lv2:AudioPort, lv2:OutputPort");
    int const ch = input ? i : i - nIn;
    char const* label = input ? plug.GetInputLabel(ch) : plug.GetOutputLabel(ch);
    std::string const name =
        label && label[0] ? label
                          : std::string(input ? "Input " : "Output ") + std::to_string(ch + 1);
    t += "            lv2:name " + Quoted(name) + "\n        ]";
  }
  for (int i = 0; i < plug.NParams(); ++i, ++port)
  {
    IParam const& p = *plug.GetParam(i);
    open("lv2:InputPort, lv2:ControlPort");
    t += "            lv2:name " + Quoted(p.GetNameForHost()) + " ;\n";
    t += "            lv2:default " + Number(p.GetDefault()) + " ;\n";
    t += "            lv2:minimum " + Number(p.GetMin()) + " ;\n";
    t += "            lv2:maximum " + Number(p.GetMax());
    if (IPlugLV2::IsToggle(p))
      t += " ;\n            lv2:portProperty lv2:toggled";
    else if (p.Type() == IParam::kTypeInt || p.Type() == IParam::kTypeEnum ||
             p.Type() == IParam::kTypeBool)
    {
      t += " ;\n            lv2:portProperty lv2:integer";
      if (p.GetNDisplayTexts() > 0)
      {
        t += ", lv2:enumeration";
        for (int k = 0; k < p.GetNDisplayTexts(); ++k)
        {
          double v = 0.0;
          char const* text = p.GetDisplayTextAtIdx(k, &v);
          t += std::string(k ? " ,\n" : " ;\n            lv2:scalePoint\n") +
               "                [ rdfs:label " + Quoted(text) + " ; rdf:value " + Number(v) + " ]";
        }
      }
    }
    t += "\n        ]";
  }
  for (int i = 0; hasFile && i < 2; ++i, ++port)
  {
    open(i ? "lv2:OutputPort, atom:AtomPort" : "lv2:InputPort, atom:AtomPort");
    t += std::string("            lv2:name ") + (i ? "\"Notify\"" : "\"Control\"") +
         " ;\n            atom:bufferType atom:Sequence ;\n"
         "            atom:supports patch:Message ;\n"
         "            lv2:portProperty lv2:connectionOptional ;\n"
         "            lv2:designation lv2:control" +
         (i ? " ;\n            rsz:minimumSize " + std::to_string(IPlugLV2::kMaxPath + 1024) : "") +
         "\n        ]";
  }
  t += " .\n\n";
  t += std::string("<") + IPlugLV2::EditorURI() + ">\n    a ui:X11UI ;\n    ui:binary <" + binary +
       "> ;\n    lv2:requiredFeature ui:parent ;\n"
       "    lv2:optionalFeature ui:resize, ui:touch, ui:idleInterface, opts:options, urid:map ;\n"
       "    opts:supportedOption ui:scaleFactor ;\n";
  if (hasFile)
    t += std::string("    ui:portNotification [ ui:plugin <") + LV2PluginURI() +
         "> ; lv2:symbol \"" + symbols[plug.NotifyPort()] +
         "\" ; ui:protocol atom:eventTransfer ] ;\n";
  t += "    lv2:extensionData ui:idleInterface .\n";
  return t;
}

std::vector<std::string> LV2PresetURIs(IPlugLV2& plug)
{
  std::vector<std::string> names;
  for (int k = 0; k < plug.NFactoryPresets(); ++k) names.push_back(plug.GetFactoryPreset(k)->name);
  std::vector<std::string> uris = Slugs(names, false);
  for (std::string& u : uris) u = std::string(LV2PluginURI()) + "#preset_" + u;
  return uris;
}

std::string LV2PresetsManifest(IPlugLV2& plug, char const* presetsFile)
{
  std::string t;
  for (std::string const& uri : LV2PresetURIs(plug))
    t += "\n<" + uri + ">\n    a pset:Preset ;\n    lv2:appliesTo <" + LV2PluginURI() +
         "> ;\n    rdfs:seeAlso <" + presetsFile + "> .\n";
  return t;
}

std::string LV2PresetsTurtle(IPlugLV2& plug)
{
  std::vector<std::string> const symbols = PortSymbols(plug), uris = LV2PresetURIs(plug);
  int const firstControl = plug.NInChannels() + plug.NOutChannels();
  std::string t = std::string(kPrefixes) + "@prefix xsd:   <http://www.w3.org/2001/XMLSchema#> .\n";
  for (int k = 0; k < plug.NFactoryPresets(); ++k)
  {
    FactoryPreset const& row = *plug.GetFactoryPreset(k);
    t += "\n<" + uris[k] + ">\n    a pset:Preset ;\n    lv2:appliesTo <" + LV2PluginURI() +
         "> ;\n    rdfs:label " + Quoted(row.name) + " ;\n    rdfs:comment " +
         Quoted(row.description) + " ;\n    lv2:port";
    for (int i = 0; i < plug.NParams(); ++i)
    {
      plug.GetParam(i)->Set(row.values[i]);
      t += std::string(i ? " ,\n" : "\n") + "        [ lv2:symbol \"" + symbols[firstControl + i] +
           "\" ; pset:value " + Number(row.values[i]) + " ]";
    }
    // The state a host would save with these values; a product whose state holds more than its
    // parameters (a file) is given the values alone, so that a preset leaves the rest as it is.
    ByteChunk chunk;
    WDL_String text;
    if (!plug.HasFileProperty() && plug.GetHostChunk(&chunk, false) &&
        Base64Encode(chunk.GetBytes(), chunk.Size(), &text))
      t += std::string(" ;\n    state:state [\n        <") + IPlugLV2::ChunkKeyURI() + "> \"" +
           text.Get() + "\"^^xsd:base64Binary\n    ]";
    t += " .\n";
  }
  return t;
}
