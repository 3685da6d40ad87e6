#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kite/accelerometer/AccelerometerDispatcher.h"
#include "kite/accelerometer/AccelerometerSimulation.h"
#include "kite/accelerometer/KTAccelerometer.h"
#include "kite/text_input/KTStatusBarOrientation.h"
#include "platform/runloop/RunLoop.h"

using namespace kite;

namespace {

class Receiver : public KTAccelerometerDelegate {
  public:
    void didAccelerate(KTAcceleration* a) override {
        readings.push_back(*a);
        threads.push_back(std::this_thread::get_id());
    }
    std::vector<KTAcceleration> readings;
    std::vector<std::thread::id> threads;
};

void sendDatagram(uint16_t port, const std::string& text) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(text.size()));
    close(fd);
}

// Turns the main run loop until `count` readings arrived or 5 s of real time passed.
void waitForReadings(const Receiver& receiver, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (receiver.readings.size() < count && std::chrono::steady_clock::now() < deadline)
        plat::RunLoop::main().runOnce(0.05);
}

// Delivers one reading through the dispatcher as the platform accelerometer would.
KTAcceleration deliver(double t, double x, double y, double z, int orientation) {
    Receiver receiver;
    auto dispatcher = AccelerometerDispatcher::sharedAccelerometerDispather();
    AccelerometerSimulation::setPort(0);
    dispatcher->addDelegate(&receiver);
    ktSetStatusBarOrientation(orientation);
    UIAccelerationSimulation reading;
    reading.initWithTimestamp(t, x, y, z);
    dispatcher->accelerometerDidAccelerate(nullptr, reading);
    ktSetStatusBarOrientation(1);
    dispatcher->addDelegate(nullptr);
    EXPECT_EQ(receiver.readings.size(), 1u);
    return receiver.readings.empty() ? KTAcceleration{} : receiver.readings[0];
}

}  // namespace

TEST(AccelerometerSimulation, ParsesFieldsOneToFourAsDecimalNumbers) {
    auto r = AccelerometerSimulation::parseReading("dev,12.5,0.1,-0.2,0.98");
    ASSERT_TRUE(r);
    EXPECT_DOUBLE_EQ(r->timestamp(), 12.5);
    EXPECT_DOUBLE_EQ(r->x(), 0.1);
    EXPECT_DOUBLE_EQ(r->y(), -0.2);
    EXPECT_DOUBLE_EQ(r->z(), 0.98);

    r = AccelerometerSimulation::parseReading("a,1,2,3,4,5,6");
    ASSERT_TRUE(r);
    EXPECT_DOUBLE_EQ(r->timestamp(), 1);
    EXPECT_DOUBLE_EQ(r->z(), 4);

    // Fewer than five fields: no reading rather than reading past the last field.
    EXPECT_FALSE(AccelerometerSimulation::parseReading("a,1,2,3"));
    EXPECT_FALSE(AccelerometerSimulation::parseReading(""));

    EXPECT_DOUBLE_EQ(AccelerometerSimulation::doubleValue("  -1.5e2xyz"), -150);
    EXPECT_DOUBLE_EQ(AccelerometerSimulation::doubleValue("+.25"), 0.25);
    EXPECT_DOUBLE_EQ(AccelerometerSimulation::doubleValue("7e"), 7);
    for (const char* none : {"", "abc", "-", ".", "nan", "inf", "0x10", "1e999999"})
        EXPECT_DOUBLE_EQ(AccelerometerSimulation::doubleValue(none), 0) << none;
}

TEST(AccelerometerDispatcher, TurnsReadingsToTheInterfaceOrientation) {
    KTAcceleration a = deliver(12.5, 0.1, -0.2, 0.98, 1);
    EXPECT_DOUBLE_EQ(a.x, 0.1);
    EXPECT_DOUBLE_EQ(a.y, -0.2);
    EXPECT_DOUBLE_EQ(a.z, 0.98);
    EXPECT_DOUBLE_EQ(a.timestamp, 12.5);
    a = deliver(12.5, 0.1, -0.2, 0.98, 3);
    EXPECT_DOUBLE_EQ(a.x, 0.2);
    EXPECT_DOUBLE_EQ(a.y, 0.1);
    a = deliver(12.5, 0.1, -0.2, 0.98, 4);
    EXPECT_DOUBLE_EQ(a.x, -0.2);
    EXPECT_DOUBLE_EQ(a.y, -0.1);
    a = deliver(12.5, 0.1, -0.2, 0.98, 2);
    EXPECT_DOUBLE_EQ(a.x, 0.2);
    EXPECT_DOUBLE_EQ(a.y, -0.1);
    EXPECT_DOUBLE_EQ(a.z, 0.98);
}

TEST(AccelerometerSimulation, DatagramsReachTheDelegateOnTheMainThreadInOrder) {
    AccelerometerSimulation::setPort(0);
    Receiver receiver;
    KTAccelerometer accelerometer;
    accelerometer.setDelegate(&receiver);
    auto simulation = AccelerometerSimulation::getAccelerometer();
    const uint16_t port = simulation->boundPort();
    ASSERT_NE(port, 0);
    ASSERT_TRUE(simulation->isReceiving());

    // Harmless input first: too long, garbage, too few fields, not UTF-8, empty.
    sendDatagram(port, "0,3,1,1,1," + std::string(1990, 'x'));
    sendDatagram(port, "garbage \x01\x02 text");
    sendDatagram(port, "1,2");
    sendDatagram(port, "x,\xff\xfe,1,2,3");
    sendDatagram(port, "");
    sendDatagram(port, "0,12.5,0.1,-0.2,0.98");
    // Field 4 starts beyond the 1024 bytes taken: it is cut away, so z reads 0.
    sendDatagram(port, "0,2,3,4," + std::string(1016, ' ') + "7");
    waitForReadings(receiver, 3);
    ASSERT_EQ(receiver.readings.size(), 3u);
    EXPECT_EQ(receiver.readings[0].timestamp, 3);
    EXPECT_EQ(receiver.readings[1].timestamp, 12.5);
    EXPECT_EQ(receiver.readings[1].x, 0.1);
    EXPECT_EQ(receiver.readings[1].y, -0.2);
    EXPECT_EQ(receiver.readings[1].z, 0.98);
    EXPECT_EQ(receiver.readings[2].timestamp, 2);
    EXPECT_EQ(receiver.readings[2].z, 0);
    for (auto id : receiver.threads) EXPECT_EQ(id, std::this_thread::get_id());

    accelerometer.setDelegate(nullptr);
}
