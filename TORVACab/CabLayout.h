#pragma once
// TORVA Cab's editor in its own 100 % units: where the editor puts each control, and where the
// artwork generator (tools/artgen/cabpanel.cpp) prints and shades around it. One table for both,
// so that the panel and the controls on it cannot drift apart. Positions are top-left corners.
//
//   Bypass   Cabinet selector   Low cut  High cut  Mix  Level        [ TORVA Cab ]
//            [ the impulse response's window, under the selector and the knobs ]

namespace cab_layout
{

constexpr int kPanelW = 1024, kPanelH = 340;
constexpr int kRowY = 100; // the row of controls, as on the amplifier

// The amplifier's knob and Bypass switch.
constexpr int kKnobSize = 72, kKnobFrames = 31;
constexpr int kSwitchW = 56, kSwitchH = 72;
constexpr int kBypassX = 127;
constexpr int kLowCutX = 440, kHighCutX = 525, kMixX = 610, kLevelX = 695;

struct Box
{
  int x, y, w, h;
};

// The cabinet selector: a rotary switch, one frame per position, the built-in cabinets and then
// the user's file, its pointer on each position's label.
constexpr int kSelectorX = 284, kSelectorSize = 72, kSelectorPositions = 5;
constexpr double kSelectorDegrees[kSelectorPositions] = {-80, -40, 0, 40, 80}; // 0 up, clockwise
// Each position's label; a click on one turns the switch there.
constexpr Box kSelectorLabels[kSelectorPositions] = {{215, 122, 66, 14},
                                                     {228, 94, 66, 14},
                                                     {287, 83, 66, 14},
                                                     {346, 94, 66, 14},
                                                     {359, 122, 66, 14}};

// The impulse response's window: the file's name, and the last word about it below.
constexpr Box kFileArea = {215, 198, 552, 48};

} // namespace cab_layout
