#pragma once

namespace vorn {

// Chromium's set-up for this program. Qt WebEngine runs Chromium's sub-processes with its own
// helper (QtWebEngineProcess), so this executable is only ever the browser process, and the
// program's command line reaches Chromium unchanged.
//
// The process environment is Chromium's to read when Qt WebEngine starts, so it is prepared
// before the QApplication exists. The browser profile (cache and storage in <temp>/Cache,
// persistent cookies) and the page settings (background #222529, file access) belong to the
// client handler, which creates them with the first page.
class ClientApp
{
public:
    // Chromium's sandbox stays on; it is switched off only where Chromium cannot use it
    // (running as root).
    void prepareProcess();
};

} // namespace vorn
