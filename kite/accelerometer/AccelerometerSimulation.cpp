#include "kite/accelerometer/AccelerometerSimulation.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/base/Log.h"
#include "platform/base/Utf8.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

namespace kite {

namespace {

uint16_t& configuredPort() {
    static uint16_t port = AccelerometerSimulation::kDefaultPort;
    return port;
}

// Not destroyed at exit, where the receiving thread may still use it; purgeSharedAccelerometer() joins the
// thread before it lets go.
std::shared_ptr<AccelerometerSimulation>*& sharedSlot() {
    static std::shared_ptr<AccelerometerSimulation>* slot = nullptr;
    return slot;
}

}  // namespace

void UIAccelerationSimulation::initWithTimestamp(double timestamp, double x, double y, double z) {
    timestamp_ = timestamp;
    x_ = x;
    y_ = y;
    z_ = z;
}

void AccelerometerSimulation::setPort(uint16_t port) {
    configuredPort() = port;
}

bool AccelerometerSimulation::hasSharedAccelerometer() {
    return sharedSlot() != nullptr;
}

void AccelerometerSimulation::purgeSharedAccelerometer() {
    auto*& slot = sharedSlot();
    if (!slot) return;
    std::shared_ptr<AccelerometerSimulation> simulation = std::move(*slot);
    delete slot;
    slot = nullptr;
    simulation->stop();
}

AccelerometerSimulation::~AccelerometerSimulation() {
    stop();
}

void AccelerometerSimulation::stop() {
    if (observer_) plat::NotificationCenter::defaultCenter().removeObserver(observer_);
    observer_ = 0;
    if (udpSocket < 0) return;
    // Shutting the socket down wakes the blocked receive, which then sees isExiting and returns.
    isExiting = true;
    shutdown(udpSocket, SHUT_RDWR);
    if (thread.joinable()) thread.join();
    close(udpSocket);
    udpSocket = -1;
    receiving_ = false;
}

std::shared_ptr<AccelerometerSimulation> AccelerometerSimulation::getAccelerometer() {
    auto*& slot = sharedSlot();
    if (!slot) {
        slot = new std::shared_ptr<AccelerometerSimulation>(new AccelerometerSimulation());
        (*slot)->initialize(configuredPort());
    }
    return *slot;
}

bool AccelerometerSimulation::isReceiving() const {
    return receiving_.load();
}

void AccelerometerSimulation::initialize(uint16_t port) {
    isExiting = false;
    udpSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (udpSocket < 0) {
        plat::logError("AccelerometerSimulation: cannot open a UDP socket (%s); no readings will arrive",
                       std::strerror(errno));
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        if (bind(udpSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            plat::logError("AccelerometerSimulation: cannot bind UDP port %u (%s); no readings will arrive",
                           static_cast<unsigned>(port), std::strerror(errno));
            close(udpSocket);
            udpSocket = -1;
        } else {
            socklen_t length = sizeof address;
            if (getsockname(udpSocket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
                boundPort_ = ntohs(address.sin_port);
        }
    }
    setUpThreadingSupport();
    observer_ = plat::NotificationCenter::defaultCenter().addObserver(
        kThreadAccelNotification, [this](const plat::Notification& n) { processNotification(n); });
    if (udpSocket >= 0) {
        receiving_ = true;
        thread = std::thread([this] {
            plat::Thread::holdQuitsBack();
            threadLoop();
        });
    }
}

void AccelerometerSimulation::setUpThreadingSupport() {
    if (notifications) return;
    notifications = std::make_unique<std::deque<std::string>>();
    notificationThread = std::this_thread::get_id();
    notificationPort = &plat::RunLoop::current();
}

void AccelerometerSimulation::threadLoop() {
    // One byte more than the largest datagram taken, for the terminator.
    char buffer[kMaxDatagramBytes + 1];
    for (;;) {
        const ssize_t received = recv(udpSocket, buffer, kMaxDatagramBytes, 0);
        if (isExiting) return;
        if (received < 0) {
            if (errno == EINTR) continue;
            plat::logError("AccelerometerSimulation: receiving failed (%s); the accelerometer feed stops",
                           std::strerror(errno));
            receiving_ = false;
            return;
        }
        if (received < 1) continue;
        buffer[received] = '\0';
        const std::string_view bytes(buffer, std::strlen(buffer));
        if (!plat::isValidUtf8(bytes)) continue;
        plat::NotificationCenter::defaultCenter().post(kThreadAccelNotification, nullptr, std::string(bytes));
    }
}

double AccelerometerSimulation::doubleValue(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\t' || field[i] == '\n' || field[i] == '\r' ||
                                field[i] == '\f' || field[i] == '\v'))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    const size_t numberStart = i;
    size_t digits = 0;
    while (i < field.size() && field[i] >= '0' && field[i] <= '9') ++i, ++digits;
    if (i < field.size() && field[i] == '.') {
        ++i;
        while (i < field.size() && field[i] >= '0' && field[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0;
    size_t end = i;
    if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
        size_t j = i + 1;
        if (j < field.size() && (field[j] == '+' || field[j] == '-')) ++j;
        const size_t expDigits = j;
        while (j < field.size() && field[j] >= '0' && field[j] <= '9') ++j;
        if (j > expDigits) end = j;
    }
    double value = 0;
    const auto result = std::from_chars(field.data() + numberStart, field.data() + end, value);
    if (result.ec != std::errc()) return 0;
    return negative ? -value : value;
}

std::optional<UIAccelerationSimulation> AccelerometerSimulation::parseReading(std::string_view text) {
    std::string_view fields[5];
    size_t count = 0, pos = 0;
    while (count < 5) {
        const size_t comma = text.find(',', pos);
        fields[count++] =
            text.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
    if (count < 5) return std::nullopt;
    UIAccelerationSimulation reading;
    reading.initWithTimestamp(doubleValue(fields[1]), doubleValue(fields[2]), doubleValue(fields[3]),
                              doubleValue(fields[4]));
    return reading;
}

void AccelerometerSimulation::processNotification(const plat::Notification& notification) {
    const auto* text = std::any_cast<std::string>(&notification.userInfo);
    if (!text) return;
    if (std::this_thread::get_id() == notificationThread) {
        const auto reading = parseReading(*text);
        if (!reading) return;
        accObject = *reading;
        if (auto d = accelDelegate.lock()) d->accelerometerDidAccelerate(this, accObject);
        return;
    }
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(notificationLock);
        if (notifications->size() >= kMaxPendingReadings) notifications->pop_front();
        notifications->push_back(*text);
        // One wake-up drains everything queued before it runs; a flood posts no more tasks than that.
        wake = !wakePending;
        wakePending = true;
    }
    if (wake) notificationPort->post([this] { handleMachMessage(); });
}

void AccelerometerSimulation::handleMachMessage() {
    std::unique_lock<std::mutex> lock(notificationLock);
    wakePending = false;
    while (!notifications->empty()) {
        std::string text = std::move(notifications->front());
        notifications->pop_front();
        lock.unlock();
        plat::Notification notification{kThreadAccelNotification, nullptr, std::move(text)};
        processNotification(notification);
        lock.lock();
    }
}

}  // namespace kite
