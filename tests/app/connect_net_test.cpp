// Choosing a network kind, Connect and Disconnect over the network links,
// against the simulator's network sides inside private network namespaces.
#include "app/handlers.h"
#include "base/dialog_template.h"
#include "capture/wire_capture.h"
#include "command/command.h"
#include "net/net_link.h"
#include "net/net_trace.h"
#include "net_fixture.h"
#include "sim/device_model.h"

#include <string>
#include <vector>

namespace {

using headless::control;
using Lines = std::vector<std::string>;

class ConnectNetTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        set_net_details(false);
        control(idc_details).checked = false;
    }
    void TearDown() override {
        memset(&connection_link, 0, sizeof connection_link);
        NetTest::TearDown();
    }
    void choose(int kind) {
        headless::queue_select(idc_kind, kind - 1);
        pump_one_message();
    }
    void expect_connected() {
        EXPECT_EQ(connected_flag, 1);
        EXPECT_EQ(control(idc_connect).text, "Disconnect");
        for (int id : {idc_kind, idc_address}) EXPECT_FALSE(control(id).enabled) << id;
        for (int id : {idc_send, idc_sign, idc_refresh, idc_run_batch, idc_bmp})
            EXPECT_TRUE(control(id).enabled) << id;
    }
    void expect_disconnected() {
        EXPECT_EQ(connected_flag, 0);
        EXPECT_EQ(busy_flag, 0);
        EXPECT_EQ(control(idc_connect).text, "Connect");
        for (int id : {idc_connect, idc_exit, idc_kind, idc_address})
            EXPECT_TRUE(control(id).enabled) << id;
        for (int id : {idc_send, idc_sign, idc_refresh, idc_run_batch})
            EXPECT_FALSE(control(id).enabled) << id;
    }
};

TEST_F(ConnectNetTest, NetworkQueryListsThreeDevicesAndConnectsToTheFirst) {
    if (!enter_namespace(true, true)) return;
    fake_clock::install(1000, 50);
    NetSidesConfig config;
    for (unsigned i = 0; i < 3; ++i) config.rmlx_devices.push_back(device_address(true, i));
    config.rmlx_broadcast = true;
    ASSERT_TRUE(start(config));

    choose(kind_rmlx);
    Lines expected{"Querying network devices:", "RMLX: protocol init ok"};
    for (unsigned i = 0; i < 3; ++i)
        expected.push_back("- Detected ip " + text_of(device_address(true, i)));
    expected.push_back("3 devices responded");
    EXPECT_EQ(lines(), expected);
    ASSERT_EQ(control(idc_address).items.size(), 3u);
    EXPECT_EQ(control(idc_address).selection, 0);
    expect_disconnected();

    connect_or_disconnect();
    EXPECT_EQ(lines(), (Lines{"RMLX: already initialized",
                              "init connection with " + text_of(device_address(true, 0)),
                              "Reading device info",
                              "Device info: [" + DeviceModel(1).handle("v").substr(9) + "]"}));
    expect_connected();
    EXPECT_EQ(connection_kind, kind_rmlx);

    connect_or_disconnect();
    EXPECT_EQ(lines(), Lines{"Closed network services"});
    expect_disconnected();
}

TEST_F(ConnectNetTest, NetworkQueryWithoutDevicesLeavesTheListEmpty) {
    if (!enter_namespace(true, true)) return;
    fake_clock::install(1000, 50);
    choose(kind_rmlx);
    EXPECT_EQ(lines(), (Lines{"Querying network devices:", "RMLX: protocol init ok",
                              "0 devices responded"}));
    EXPECT_TRUE(control(idc_address).items.empty());
    EXPECT_EQ(control(idc_address).selection, -1);
    expect_disconnected();
}

TEST_F(ConnectNetTest, TcpWithATypedAddress) {
    if (!enter_namespace(false, true)) return;
    const uint32_t localhost = netns::ipv4(127, 0, 0, 1);
    NetSidesConfig config;
    config.tcp_address = localhost;
    ASSERT_TRUE(start(config));

    choose(kind_tcp);
    EXPECT_EQ(lines(), Lines{"Init TCP OK:"});
    EXPECT_TRUE(control(idc_address).items.empty());
    headless::type_text(idc_address, "127.0.0.1");
    connect_or_disconnect();
    EXPECT_EQ(lines(), (Lines{"init connection with 127.0.0.1", "TCP: protocol init ok",
                              "Reading device info",
                              "Device info: [" + DeviceModel(1).handle("v").substr(9) + "]"}));
    expect_connected();
    EXPECT_EQ(wire('t', true), Lines{"v"});
    connect_or_disconnect();
    EXPECT_EQ(lines(), Lines{"Closed network services"});
}

TEST_F(ConnectNetTest, ClicksDuringANetworkRequestStartNoSecondRequest) {
    if (!enter_namespace(false, true)) return;
    NetSidesConfig config;
    config.tcp_address = netns::ipv4(127, 0, 0, 1);
    ASSERT_TRUE(start(config));
    choose(kind_tcp);
    headless::type_text(idc_address, "127.0.0.1");
    connect_or_disconnect();
    expect_connected();
    lines();

    // Dispatched by the request's own wait: none of them may start another
    // request or pull the link from under it. The reply comes in two pieces
    // 30 ms apart, so that the request waits long enough to see them all.
    set([](NetFaults& f) { f.pieces = 1; });
    headless::type_text(idc_command, "?");
    headless::queue_click(idc_send);
    headless::queue_click(idc_refresh);
    headless::queue_click(idc_connect);
    headless::queue_close();
    char data[100];
    ASSERT_EQ(execute_command("v", data, sizeof data, 0), 0);
    EXPECT_EQ(headless::pending_events(), 0u);
    EXPECT_EQ(wire('t', true), (Lines{"v", "v"}));
    expect_connected();
    EXPECT_EQ(close_pending, 1); // the close waits for the request
    EXPECT_EQ(quit_flag, 0);
    EXPECT_EQ(run_main_loop(), 0);
    EXPECT_EQ(quit_flag, 1);
}

TEST_F(ConnectNetTest, FailingInformationRequestClosesTheNetworkLink) {
    if (!enter_namespace(false, true)) return;
    fake_clock::install();
    const uint32_t localhost = netns::ipv4(127, 0, 0, 1);
    NetSidesConfig config;
    config.tcp_address = localhost;
    ASSERT_TRUE(start(config));
    set([](NetFaults& f) { f.silent = 1; });

    choose(kind_tcp);
    headless::type_text(idc_address, "127.0.0.1");
    connect_or_disconnect();
    EXPECT_EQ(lines(),
              (Lines{"Init TCP OK:", "init connection with 127.0.0.1", "TCP: protocol init ok",
                     "Reading device info", "TCP: request timeout", "TCP: request failed",
                     "Fatal device comm error"}));
    expect_disconnected();
    // The link was closed: the next connect initialises it afresh.
    connect_or_disconnect();
    EXPECT_EQ(lines()[1], "TCP: protocol init ok");
    expect_connected();
}

TEST_F(ConnectNetTest, PlainUdpConnectAndDisconnect) {
    if (!enter_namespace(false, true)) return;
    NetSidesConfig config;
    config.udp_address = netns::ipv4(192, 0, 2, 2);
    ASSERT_TRUE(start_behind_veth(config, netns::ipv4(192, 0, 2, 1)));

    choose(kind_udp);
    headless::type_text(idc_address, "192.0.2.2");
    connect_or_disconnect();
    // The plain UDP link hands up the reply text with its "/" separator.
    EXPECT_EQ(lines(), (Lines{"Init UDP OK:", "init connection with 192.0.2.2",
                              "UDP: protocol init ok", "Reading device info",
                              "Device info: [" + DeviceModel(1).handle("v").substr(9) + "/]"}));
    expect_connected();
    connect_or_disconnect();
    EXPECT_EQ(lines(), Lines{"Closed network services"});
    expect_disconnected();
}

TEST_F(ConnectNetTest, AddressesOfNoOneDeviceAreRefusedBeforeAnySocket) {
    if (!enter_namespace(true, true)) return;
    fake_clock::install(1000, 50);
    wire_capture_enable(true);
    for (int kind : {kind_tcp, kind_udp, kind_rmlx}) {
        choose(kind); // on RMLX a discovery that finds no device
        lines();
        for (std::string typed : {"", "abc", "255.255.255.255", "0.0.0.0", "1.2.3", "1.2.3.256"}) {
            headless::type_text(idc_address, typed);
            headless::answer_box(id_ok);
            connect_or_disconnect();
            EXPECT_EQ(headless::boxes().back().text,
                      "Invalid device address [" + typed +
                          "]; type the device's IPv4 address, such as 192.0.2.7");
            EXPECT_EQ(lines(), Lines{}) << typed; // no link opened, nothing logged
            size_t records = 0;
            wire_capture_visit(
                [](const WireCaptureRecord&, void* n) { ++*static_cast<size_t*>(n); }, &records);
            EXPECT_EQ(records, 0u) << typed;
            expect_disconnected();
        }
    }
    wire_capture_enable(false);
}

} // namespace
