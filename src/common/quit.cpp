#include "common/quit.h"

#include <QCoreApplication>

#include <atomic>

namespace vorn {
namespace {
std::atomic<bool> s_quitRequested{false};
} // namespace

void requestQuit()
{
    if (s_quitRequested.exchange(true))
        return;
    if (QCoreApplication::instance())
        QCoreApplication::quit();
}

bool quitRequested()
{
    return s_quitRequested.load();
}

} // namespace vorn
