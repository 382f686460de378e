// Hot-plug event bursts and data reports, delivered by the library's own thread.

#include "libdc_fixture.h"

namespace libdctest {
namespace {

using Bytes = std::vector<uint8_t>;

void registerData(const Library &dc, const char16_t *id, const char16_t *path,
                  DcDataCallback callback = &CallbackLog::onReport)
{
    ASSERT_EQ(dc.dconDeviceData(id, path, Code, &callback), 0);
}

TEST_F(LibdcTest, PlugChangesArriveAsBurstsOfFiveFromTheLibraryThread)
{
    registerEvents();
    ASSERT_EQ(dc.dcsim_unplug(1), 0);
    ASSERT_EQ(dc.dcsim_unplug(1), 0); // already out: no event
    ASSERT_EQ(dc.dcsim_plug(1), 0);
    ASSERT_EQ(dc.dcsim_plug(1), 0); // already in: no event
    ASSERT_EQ(dc.dcsim_unplug(0), 0);
    ASSERT_EQ(dc.dcsim_flush_events(), 0);

    std::vector<uint32_t> expected = burst(MouseRecord | Removal);
    expected = concat(expected, burst(MouseRecord | Arrival));
    expected = concat(expected, burst(KeyboardRecord | Removal));
    EXPECT_EQ(CallbackLog::events(), expected);

    const std::vector<Delivery> deliveries = CallbackLog::all();
    ASSERT_FALSE(deliveries.empty());
    for (const Delivery &d : deliveries) {
        EXPECT_NE(d.thread, std::this_thread::get_id());
        EXPECT_EQ(d.thread, deliveries.front().thread);
    }
}

TEST_F(LibdcTest, TheEventCallbackCanBeReplacedOrClearedAndMayCallTheLibrary)
{
    EXPECT_NE(dc.dcOnDeviceEvent(nullptr), 0);

    // A callback that lists the devices from inside the call: no lock is held around it.
    CallbackLog::callBackIntoLibrary(&dc);
    registerEvents();
    ASSERT_EQ(dc.dcsim_unplug(0), 0);
    ASSERT_EQ(dc.dcsim_flush_events(), 0);
    EXPECT_EQ(CallbackLog::nestedListCount(), 5);

    const DcEventCallback none = nullptr;
    ASSERT_EQ(dc.dcOnDeviceEvent(&none), 0);
    ASSERT_EQ(dc.dcsim_plug(0), 0);
    ASSERT_EQ(dc.dcsim_flush_events(), 0);
    EXPECT_EQ(CallbackLog::events(), burst(KeyboardRecord | Removal));
}

TEST_F(LibdcTest, ReportsReachTheRegisteredDataCallbackThroughTheIndirection)
{
    const Bytes first = {0x03, 0x2C, 0x01, 0, 0, 0, 0, 0xA5};
    EXPECT_NE(dc.dcsim_report(first.data()), 0); // nothing registered yet

    registerData(dc, Keyboard, KeyboardPath);
    ASSERT_EQ(dc.dcsim_report(first.data()), 0);
    ASSERT_EQ(dc.dcsim_flush_events(), 0);
    std::vector<Delivery> got = CallbackLog::all();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, Delivery::Report);
    EXPECT_EQ(Bytes(got[0].bytes.begin(), got[0].bytes.end()), first);
    EXPECT_EQ(got[0].sink, 0);
    EXPECT_NE(got[0].thread, std::this_thread::get_id());

    // A later registration replaces the earlier one.
    registerData(dc, Mouse, MousePath, &CallbackLog::onReportOther);
    const Bytes second = {0x03, 0x05, 0x00, 1, 2, 3, 4, 5};
    ASSERT_EQ(dc.dcsim_report(second.data()), 0);
    ASSERT_EQ(dc.dcsim_flush_events(), 0);
    got = CallbackLog::all();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(Bytes(got[1].bytes.begin(), got[1].bytes.end()), second);
    EXPECT_EQ(got[1].sink, 1);

    // The registered device must be present to report.
    ASSERT_EQ(dc.dcsim_unplug(1), 0);
    EXPECT_NE(dc.dcsim_report(second.data()), 0);
    EXPECT_NE(dc.dcsim_report(nullptr), 0);
}

TEST_F(LibdcTest, DataRegistrationNeedsAPresentDeviceWithItsPath)
{
    const DcDataCallback callback = &CallbackLog::onReport;
    EXPECT_NE(dc.dconDeviceData(Keyboard, MousePath, Code, &callback), 0);
    EXPECT_NE(dc.dconDeviceData(Keyboard, Empty, Code, &callback), 0);
    EXPECT_NE(dc.dconDeviceData(Keyboard, nullptr, Code, &callback), 0);
    EXPECT_NE(dc.dconDeviceData(Keyboard, KeyboardPath, Code + 1, &callback), 0);
    EXPECT_NE(dc.dconDeviceData(Keyboard, KeyboardPath, Code, nullptr), 0);
    ASSERT_EQ(dc.dcsim_unplug(0), 0);
    EXPECT_NE(dc.dconDeviceData(Keyboard, KeyboardPath, Code, &callback), 0);
    ASSERT_EQ(dc.dcsim_plug(0), 0);
    EXPECT_EQ(dc.dconDeviceData(Keyboard, KeyboardPath, Code, &callback), 0);

    // Registering a null callback ends the registration.
    const DcDataCallback none = nullptr;
    ASSERT_EQ(dc.dconDeviceData(Keyboard, KeyboardPath, Code, &none), 0);
    const uint8_t report[8] = {};
    EXPECT_NE(dc.dcsim_report(report), 0);
}

TEST_F(LibdcTest, EventsAndReportsKeepTheirOrder)
{
    registerEvents();
    registerData(dc, Keyboard, KeyboardPath);
    const Bytes a = {0x03, 0x04, 1, 0, 0, 0, 0, 0};
    const Bytes b = {0x03, 0x04, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(dc.dcsim_report(a.data()), 0);
    ASSERT_EQ(dc.dcsim_unplug(1), 0);
    ASSERT_EQ(dc.dcsim_report(b.data()), 0);
    ASSERT_EQ(dc.dcsim_plug(1), 0);
    ASSERT_EQ(dc.dcsim_flush_events(), 0);

    const std::vector<Delivery> got = CallbackLog::all();
    ASSERT_EQ(got.size(), 12u);
    EXPECT_EQ(Bytes(got[0].bytes.begin(), got[0].bytes.end()), a);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(got[i].value, MouseRecord | Removal);
    EXPECT_EQ(got[6].kind, Delivery::Report);
    EXPECT_EQ(Bytes(got[6].bytes.begin(), got[6].bytes.end()), b);
    for (int i = 7; i <= 11; ++i)
        EXPECT_EQ(got[i].value, MouseRecord | Arrival);
}

TEST_F(LibdcTest, AChoiceReportedByTheDeviceChangesItsState)
{
    registerData(dc, Mouse, MousePath);
    const Bytes modeChanged = {0x01, 0x04, 0, 0, 0, 0, 0, 0};
    const Bytes dpiChanged = {0x02, 0x20, 0x03, 0, 0, 0, 0, 0}; // 800
    const Bytes badMode = {0x01, 0x09, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(dc.dcsim_report(modeChanged.data()), 0);
    ASSERT_EQ(dc.dcsim_report(dpiChanged.data()), 0);
    ASSERT_EQ(dc.dcsim_report(badMode.data()), 0); // delivered as is, state unchanged
    ASSERT_EQ(dc.dcsim_flush_events(), 0);

    EXPECT_EQ(readProp(Mouse, 2, 1), Bytes{4});
    EXPECT_EQ(readProp(Mouse, 3, 2), (Bytes{0x20, 0x03}));
    const std::vector<Delivery> got = CallbackLog::all();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(Bytes(got[2].bytes.begin(), got[2].bytes.end()), badMode);
}

} // namespace
} // namespace libdctest
