#pragma once

namespace vorn {

class AppConfig;
class DesktopServices;
class ProfileStore;
class devices_handler;

// The services the command handlers work on. The dispatcher knows no window: the main window
// fills this with its real services, the command-line host and the tests with their own. A
// null service makes the commands that need it behave as they do when that part of the
// program is absent.
struct CommandContext
{
    AppConfig *config = nullptr;
    devices_handler *devices = nullptr;
    ProfileStore *profiles = nullptr;
    DesktopServices *desktop = nullptr;
};

} // namespace vorn
