#include "shell/clientapp.h"

#include "bridge/chromiumsetup.h"

namespace vorn {

void ClientApp::prepareProcess()
{
    configureChromiumEnvironment();
}

} // namespace vorn
