// Feeds arbitrary request texts through the pre-dispatch rules and the dispatcher, with the
// simulated device library loaded, as page requests arrive in the program.

#include "commands/dispatcher.h"
#include "commands/request.h"
#include "common/eventsink.h"
#include "config/appconfig.h"
#include "device/devices_handler.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdlib>
#include <memory>

namespace {

using namespace vorn;

class DiscardingCallback final : public QueryCallback
{
protected:
    void deliverSuccess(const QString &) override {}
    void deliverFailure(int, const QString &) override {}
};

class DiscardingSink final : public EventSink
{
protected:
    void deliverEvent(const QString &, const QVariantList &) override {}
};

struct Harness
{
    std::unique_ptr<QCoreApplication> app;
    DiscardingSink events;
    AppConfig config{QString()};
    std::unique_ptr<devices_handler> devices;
    std::unique_ptr<CommandDispatcher> dispatcher;
};

Harness *harness = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static char stateTemplate[] = "/tmp/vorn-fuzz-XXXXXX";
    const char *stateFolder = mkdtemp(stateTemplate);
    setenv("VORN_SIM_STATE",
           (std::string(stateFolder ? stateFolder : "/tmp") + "/state.bin").c_str(), 1);
    unsetenv("VORN_SIM_CONTROL");

    harness = new Harness;
    harness->app = std::make_unique<QCoreApplication>(*argc, *argv);
    harness->config.setConfText(
        QStringLiteral("<root><client language=\"en\"/><d deviceId=\"04D9A100\">"
                       "<p name=\"产品信息\" productName=\"K100\"/></d></root>"));
    harness->devices = std::make_unique<devices_handler>(nullptr, &harness->events,
                                                         QStringLiteral(VORN_LIBDC_PATH));
    harness->dispatcher = std::make_unique<CommandDispatcher>(
        CommandContext{&harness->config, harness->devices.get()});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const ParsedRequest request = parseRequest(text);
    if (request.kind == ParsedRequest::Kind::Command) {
        const auto callback = QSharedPointer<DiscardingCallback>::create();
        harness->dispatcher->dispatchCommand(request.funcname, request.parameters, callback);
    }
    QCoreApplication::processEvents();
    return 0;
}
