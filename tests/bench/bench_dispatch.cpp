// Parse + dispatch + reply of a trivial command, against a bare JSON parse of the same text in
// the same run. Goal: ratio at most 1.5.

#include "benchharness.h"

#include "commands/dispatcher.h"
#include "commands/request.h"

#include <QJsonDocument>

namespace {

using namespace vorn;

class CountingCallback final : public QueryCallback
{
public:
    static inline long long answers = 0;

protected:
    void deliverSuccess(const QString &) override { ++answers; }
    void deliverFailure(int, const QString &) override { ++answers; }
};

} // namespace

int main()
{
    // A notice without a device library: parse, select, three member tests, conversions and
    // the failure reply.
    const QString text = QStringLiteral(
        R"({"funcname":"notifyDevice","HardwareID":"HID\Vid_04d9&Pid_a100","NotifyType":1,"NotifyData":2})");
    const QByteArray utf8 = text.toUtf8();
    const CommandDispatcher dispatcher(CommandContext{});

    long long sink = 0;
    const bench::Measurement baseline = bench::measure(
        [&](long long n) {
            for (long long i = 0; i < n; ++i)
                sink += QJsonDocument::fromJson(text.toUtf8()).isObject();
        },
        200000);
    const bench::Measurement dispatch = bench::measure(
        [&](long long n) {
            for (long long i = 0; i < n; ++i) {
                const ParsedRequest request = parseRequest(text);
                dispatcher.dispatchCommand(request.funcname, request.parameters,
                                           QSharedPointer<CountingCallback>::create());
            }
        },
        200000);
    bench::report("request parse+dispatch+reply vs fromJson", dispatch, baseline, 1.5, true);
    return sink > 0 && CountingCallback::answers > 0 ? 0 : 1;
}
