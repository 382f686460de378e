#pragma once

namespace vorn {

// Prepares the process for Chromium. Call once in main(), before the QApplication exists.
//
// Chromium's sandbox stays on wherever it can run; as root it cannot, so there it is switched
// off (an explicit QTWEBENGINE_DISABLE_SANDBOX in the environment is left as it is). The views
// share their OpenGL contexts, which Qt WebEngine needs set before the application object.
void configureChromiumEnvironment();

} // namespace vorn
