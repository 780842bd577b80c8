// Test support for slave mode: private network and blocking clients.
#include "tests/net/net_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

static bool writeText(const char *path, const std::string &text)
{
    int file = open(path, O_WRONLY);
    if (file < 0)
        return false;
    bool written = write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(file);
    return written;
}

static bool bringLoopbackUp()
{
    int control = socket(AF_INET, SOCK_DGRAM, 0);
    if (control < 0)
        return false;
    ifreq request = {};
    snprintf(request.ifr_name, sizeof(request.ifr_name), "lo");
    bool up = ioctl(control, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ioctl(control, SIOCSIFFLAGS, &request) == 0;
    close(control);
    return up;
}

bool enterPrivateNetwork()
{
    uid_t user = getuid();
    gid_t group = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        return false;
    // Keep our own identity inside, so files stay ours.
    writeText("/proc/self/setgroups", "deny");
    if (!writeText("/proc/self/uid_map", std::to_string(user) + " " + std::to_string(user) + " 1") ||
        !writeText("/proc/self/gid_map", std::to_string(group) + " " + std::to_string(group) + " 1"))
        return false;
    return bringLoopbackUp();
}

int connectLoopback(int port)
{
    int connection = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(connection, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        close(connection);
        return -1;
    }
    timeval timeout = {5, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    return connection;
}

bool sendBytes(int connection, const std::string &bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t count = send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            return false;
        sent += count;
    }
    return true;
}

std::string receiveAll(int connection, bool *closedCleanly)
{
    std::string received;
    char buffer[4096];
    ssize_t count;
    while ((count = recv(connection, buffer, sizeof(buffer), 0)) > 0)
        received.append(buffer, count);
    if (closedCleanly)
        *closedCleanly = count == 0;
    return received;
}

std::string exchange(int port, const std::string &message)
{
    int connection = connectLoopback(port);
    if (connection < 0)
        return "";
    std::string reply = sendBytes(connection, message) ? receiveAll(connection) : "";
    close(connection);
    return reply;
}
