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

// Runs one request text through parse, dispatch and reply, against a bare JSON parse of the
// same text, and prints the comparison.
static void compareWithParse(const char *name, const QString &text, long long iterations)
{
    const CommandDispatcher dispatcher(CommandContext{});
    long long sink = 0;
    const bench::Comparison comparison = bench::compare(
        [&](long long n) {
            for (long long i = 0; i < n; ++i) {
                const ParsedRequest request = parseRequest(text);
                dispatcher.dispatchCommand(request.funcname, request.parameters,
                                           QSharedPointer<CountingCallback>::create());
            }
        },
        [&](long long n) {
            for (long long i = 0; i < n; ++i)
                sink += QJsonDocument::fromJson(text.toUtf8()).isObject();
        },
        iterations);
    bench::report(name, comparison, 1.5, true);
    if (sink == 0 || CountingCallback::answers == 0)
        std::abort();
}

int main()
{
    // A command without members: parse, select, reply "[]" (no device library).
    compareWithParse("trivial request (device list) vs fromJson",
                     QStringLiteral(R"({"funcname":"getDevicesList"})"), 200000);
    // A command with three required members and their conversions: the failure reply of a
    // notice without a device library.
    compareWithParse(
        "request with members (notice) vs fromJson",
        QStringLiteral(
            R"({"funcname":"notifyDevice","HardwareID":"HID\\Vid_04d9&Pid_a100","NotifyType":1,"NotifyData":2})"),
        100000);
    return 0;
}
