// The socket layer on a private loopback network: events, buffering, flow
// control, closing and stopping.
#include <SDL/SDL.h>
#include <SDL/SDL_net.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "net/events.h"
#include "net/sockets.h"
#include "tests/net/net_fixture.h"

enum { PORT = 28000 };

class SocketTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(enterPrivateNetwork()); }
    void SetUp() override
    {
        // SDL's event queue runs only with a video driver; the dummy one
        // needs no display.
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        ASSERT_EQ(SDLNet_Init(), 0);
        ASSERT_EQ(FE_Start(), 0);
        ASSERT_EQ(NET2_Start(), 0);
        ASSERT_GE(listener = NET2_ListenTCP(PORT), 0);
    }
    void TearDown() override { stopNetworking(); }

    // Network events that arrive within `milliseconds`.
    static std::vector<SDL_Event> eventsWithin(int milliseconds)
    {
        std::vector<SDL_Event> events;
        Uint32 end = SDL_GetTicks() + milliseconds;
        SDL_Event event;
        while (SDL_GetTicks() < end) {
            if (FE_Poll(&event))
                events.push_back(event);
            else
                SDL_Delay(1);
        }
        return events;
    }
    // Waits up to five seconds for an event of `kind`; its socket, or -1.
    static int awaitEvent(int kind)
    {
        Uint32 end = SDL_GetTicks() + 5000;
        SDL_Event event;
        while (SDL_GetTicks() < end) {
            if (!FE_Poll(&event)) {
                SDL_Delay(1);
            } else if (NET2_EventKind(event) == kind) {
                return NET2_EventSocket(event);
            }
        }
        return -1;
    }
    static int count(const std::vector<SDL_Event> &events, int kind)
    {
        int found = 0;
        for (const SDL_Event &event : events)
            found += NET2_EventKind(event) == kind;
        return found;
    }
    // A client connected and accepted; its socket index in `socket`.
    int acceptClient(int *socket)
    {
        int client = connectLoopback(PORT);
        *socket = awaitEvent(NET2_ACCEPTEVENT);
        return client;
    }
    int listener = -1;
};

TEST_F(SocketTest, AcceptEventsCarryTheListenersPort)
{
    int client = connectLoopback(PORT);
    ASSERT_GE(client, 0);
    std::vector<SDL_Event> events = eventsWithin(200);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(NET2_EventKind(events[0]), NET2_ACCEPTEVENT);
    EXPECT_EQ(NET2_EventPort(events[0]), PORT);
    EXPECT_NE(NET2_EventSocket(events[0]), listener);
    EXPECT_EQ(NET2_EventText(events[0]), nullptr);
    close(client);
}

TEST_F(SocketTest, PiecesArrivingBeforeAReadMakeOneReceiveEvent)
{
    int socket;
    int client = acceptClient(&socket);
    ASSERT_GE(socket, 0);
    for (const char *piece : {"ab", "cd", "ef"}) {
        sendBytes(client, piece);
        SDL_Delay(30);
    }
    std::vector<SDL_Event> events = eventsWithin(100);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(NET2_EventKind(events[0]), NET2_TCPRECEIVEEVENT);
    EXPECT_EQ(NET2_EventSocket(events[0]), socket);
    EXPECT_EQ(NET2_EventPort(events[0]), -1);

    char buffer[8] = {};
    EXPECT_EQ(NET2_ReadTCP(socket, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(NET2_ReadTCP(socket, buffer, 8), 2);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_EQ(NET2_ReadTCP(socket, buffer, 8), 0);
    EXPECT_EQ(NET2_ReadTCP(listener, buffer, 8), 0);
    close(client);
}

// While one connection's buffer is full, no socket is served: the next
// connection is accepted only once the full one has been read.
TEST_F(SocketTest, AFullBufferHoldsEverySocketUntilItIsRead)
{
    int socket;
    int first = acceptClient(&socket);
    sendBytes(first, std::string(3000, 'x'));
    ASSERT_EQ(awaitEvent(NET2_TCPRECEIVEEVENT), socket);
    SDL_Delay(100);
    int second = connectLoopback(PORT);
    EXPECT_EQ(count(eventsWithin(200), NET2_ACCEPTEVENT), 0);

    char buffer[4000];
    EXPECT_EQ(NET2_ReadTCP(socket, buffer, sizeof(buffer)), NET2_BUFFER_SIZE);
    EXPECT_GE(awaitEvent(NET2_ACCEPTEVENT), 0);
    close(first);
    close(second);
}

TEST_F(SocketTest, APeerClosingLeavesTheSocketUntilTheApplicationClosesIt)
{
    int socket;
    int client = acceptClient(&socket);
    close(client);
    ASSERT_EQ(awaitEvent(NET2_TCPCLOSEEVENT), socket);
    EXPECT_TRUE(NET2_PeerClosed(socket));
    NET2_CloseTCP(socket);
    EXPECT_FALSE(NET2_PeerClosed(socket));
    // A new connection may take the freed entry; a late close event about
    // the old one must not close it.
    int next = connectLoopback(PORT);
    int reused = awaitEvent(NET2_ACCEPTEVENT);
    EXPECT_FALSE(NET2_PeerClosed(reused));
    close(next);
}

TEST_F(SocketTest, SendsToConnectionsAndRefusesOtherSockets)
{
    int socket;
    int client = acceptClient(&socket);
    EXPECT_EQ(NET2_TCPSend(socket, "hello", 5), 5);
    EXPECT_EQ(NET2_TCPSend(socket, "", 0), 0);
    for (int other : {listener, -1, int(NET2_MAX_SOCKETS)}) {
        EXPECT_EQ(NET2_TCPSend(other, "x", 1), -1);
        EXPECT_STREQ(NET2_LastError(), "NET2: you can't do a TCP send on that socket");
    }
    NET2_CloseTCP(socket);
    EXPECT_EQ(receiveAll(client), "hello");
    close(client);
}

TEST_F(SocketTest, StoppingDiscardsEveryPendingEventAndMayBeRepeated)
{
    int client = connectLoopback(PORT);
    SDL_Delay(100);
    SDL_Event key = {};
    key.type = SDL_KEYDOWN;
    FE_Push(&key);
    NET2_Stop();
    SDL_Event event;
    EXPECT_EQ(FE_Poll(&event), 0);
    NET2_Stop();
    stopNetworking();
    stopNetworking();
    close(client);
}

// An over-long message is answered and closed with most of it unread; the
// reply must still reach the peer instead of being thrown away by a reset.
TEST_F(SocketTest, AReplyReachesAPeerWhoseMessageWasNotReadToTheEnd)
{
    for (size_t size : {1100, 3000, 100000}) {
        int socket;
        int client = acceptClient(&socket);
        std::thread sender([client, size] { sendBytes(client, std::string(size, 'x')); });
        ASSERT_EQ(awaitEvent(NET2_TCPRECEIVEEVENT), socket);
        char buffer[NET2_BUFFER_SIZE];
        NET2_ReadTCP(socket, buffer, sizeof(buffer));
        const std::string reply = "1::NOK::0.000000::2::0.000000::Message longer than 1024 bytes";
        EXPECT_EQ(NET2_TCPSend(socket, reply.data(), reply.size()), int(reply.size()));
        NET2_CloseTCP(socket);
        sender.join();
        bool closedCleanly = false;
        EXPECT_EQ(receiveAll(client, &closedCleanly), reply) << size;
        EXPECT_TRUE(closedCleanly) << size;
        close(client);
    }
}
