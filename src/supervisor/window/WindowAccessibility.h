#pragma once
// Names the window's controls for accessibility tools (AT-SPI on Linux, UI
// Automation on Windows) after the labels the operator reads beside them,
// the units as their descriptions; the lamps after their hints, with what
// each one judges. Object names stay the controls' names for automation.

namespace karvo {

class TFormModbus;

void NameControlsForAccessibility(TFormModbus& form);

}  // namespace karvo
