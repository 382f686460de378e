#pragma once

namespace vorn {

// Desktop facilities the commands use: pointer settings, the macro recorder, autostart. The
// desktop layer implements them for the running program.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;

    // Sets the double-click time to position 0..11 of the 12-step scale (970 ms down to
    // 200 ms). Any other position changes nothing and returns false.
    virtual bool setDoubleClickSpeed(int position) = 0;
};

} // namespace vorn
