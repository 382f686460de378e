#pragma once

namespace vorn {

// The one way to end the program's event loop. The first call sets the quit request and, when
// an application object exists, asks its event loop to quit; later calls do nothing.
void requestQuit();
bool quitRequested();

} // namespace vorn
