#pragma once
// What accessibility tools (AT-SPI, UI Automation) learn of a lamp: an
// indicator named after its hint (or its accessible name), checked while
// lit, animated while it blinks, its value "on", "off" or "blinking".

#include <QString>

namespace karvo {

class TLedLamp;

// Installs the accessibility factory for lamps (once; every lamp does).
void InstallLedLampAccessibility();
// Tells accessibility tools that the lamp's state changed.
void NotifyLedLampState(TLedLamp* lamp);
// "on", "off" or "blinking".
QString LedLampStateText(const TLedLamp& lamp);

}  // namespace karvo
