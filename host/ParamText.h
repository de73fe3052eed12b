// Setting a plug-in's parameter from "NAME=VALUE" text, as `--set` takes it.

#pragma once

#include <string>

class VstHost;

// Applies one "NAME=VALUE" through effString2Parameter. The name is the longest prefix before
// an '=' that the plug-in reports as a parameter name, so names holding '=' still work. An
// unknown name is refused with the list of valid ones. VALUE is a number, optionally followed by
// the parameter's label ("3 dB") or "%", or one of the texts the parameter displays (matched
// without regard to case, set by the value that shows it); anything else is refused with what the
// parameter accepts, and the parameter is left as it was. When the plug-in does not read text
// (many answer effString2Parameter with 0), a number is found on its display instead.
// `applied` tells what the parameter shows afterwards: its name, display and label.
bool ApplySetting(VstHost& host, const std::string& setting, std::string& applied,
                  std::string& error);

// Index of the parameter "NAME=VALUE" names, by the rule above (the longest name first), else
// -1; `split` gets the '=' after the name.
int SettingParam(VstHost& host, const std::string& setting, size_t* split = nullptr);
// Every parameter name, quoted and comma-separated ("none" for a plug-in without any).
std::string ParamNames(VstHost& host);
