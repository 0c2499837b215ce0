#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <future>

#include <gtest/gtest.h>

#include <QFile>

#include "app_test_support.h"
#include "instance_channel.h"
#include "test_support.h"

using namespace tessaly;

using TestSupport::TempDir;
namespace fs = std::filesystem;

namespace {

class InstanceChannelTest : public testing::Test {
  protected:
    InstanceChannelTest()
        : name(QFile::decodeName(QByteArray::fromStdString((dir / "tessaly.socket").native()))),
          listener(name) {
        QObject::connect(&listener, &InstanceChannel::Listener::openRequested,
                         [this](std::vector<fs::path> paths) { received.push_back(paths); });
    }

    // Sends from another thread, as a second process would, while this one serves.
    bool sendAndServe(const std::vector<fs::path>& paths) {
        auto sent =
            std::async(std::launch::async, [&] { return InstanceChannel::send(name, paths); });
        processEventsUntil([&] {
            return sent.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
        });
        return sent.get();
    }

    TempDir dir;
    QString name;
    InstanceChannel::Listener listener;
    std::vector<std::vector<fs::path>> received;
};

TEST_F(InstanceChannelTest, HandsEachLaunchsPathsOverExactlyAndInOrder) {
    ASSERT_TRUE(listener.listen());
    const std::vector<fs::path> first{"/a b/c.txt", "/x/\xff\xfe-not-utf8", "/line\nbreak"};
    const std::vector<fs::path> second{"/second"};
    EXPECT_TRUE(sendAndServe(first));
    EXPECT_TRUE(sendAndServe(second));
    EXPECT_TRUE(sendAndServe({}));
    EXPECT_EQ(received, (std::vector<std::vector<fs::path>>{first, second, {}}));
}

TEST_F(InstanceChannelTest, NoRunningInstanceMeansNotDelivered) {
    EXPECT_FALSE(InstanceChannel::send(name, {"/a"}, 500));
}

TEST_F(InstanceChannelTest, ASocketLeftByACrashedInstanceIsTakenOver) {
    // A bound socket file with nobody listening, as a killed instance leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (dir / "tessaly.socket").c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(fs::exists(dir / "tessaly.socket"));

    ASSERT_TRUE(listener.listen());
    EXPECT_TRUE(sendAndServe({"/a"}));
}

TEST_F(InstanceChannelTest, ASecondInstanceDoesNotStealALiveName) {
    ASSERT_TRUE(listener.listen());
    InstanceChannel::Listener second(name);
    EXPECT_FALSE(second.listen());
    EXPECT_TRUE(sendAndServe({"/a"}));
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(InstanceChannelTest, AnOversizedOrTruncatedMessageIsDroppedWithoutHarm) {
    ASSERT_TRUE(listener.listen());
    auto raw = [&](const std::string& bytes) {
        return std::async(std::launch::async, [&, bytes] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, (dir / "tessaly.socket").c_str(),
                         sizeof(address.sun_path) - 1);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
            (void)!::write(fd, bytes.data(), bytes.size());
            ::usleep(100'000);
            ::close(fd);
        });
    };
    auto huge = raw(std::string("\xff\xff\xff\xff\xff\xff\xff\xff", 8));
    auto shortOne = raw(std::string("\0\0\0\0\0\0\0\x10/trunc", 14));
    processEventsUntil([&] {
        return huge.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready &&
               shortOne.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    });
    QCoreApplication::processEvents();
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(sendAndServe({"/after"}));
    EXPECT_EQ(received, (std::vector<std::vector<fs::path>>{{"/after"}}));
}

}  // namespace
