#include "bridge/chromiumsetup.h"

#include <QCoreApplication>

#include <unistd.h>

namespace vorn {

void configureChromiumEnvironment()
{
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace vorn
