// Test support for slave mode: a private loopback network per test
// process, so that every test may listen on the editor port, and small
// blocking clients.
#pragma once

#include <string>

// Moves the process into a network namespace of its own with the loopback
// interface up; false if the system does not allow it. Call before any
// thread starts.
bool enterPrivateNetwork();

// A connected client socket to 127.0.0.1:port, or -1. Receives time out
// after five seconds.
int connectLoopback(int port);

// Sends all bytes; false if the connection failed.
bool sendBytes(int connection, const std::string &bytes);

// Everything received until the peer closes (or the receive timeout). With
// `closedCleanly`, whether the stream ended in an orderly close rather than
// a reset or the timeout: a peer's stack may throw away what it received
// before a reset.
std::string receiveAll(int connection, bool *closedCleanly = nullptr);

// One message on a connection of its own, and the whole reply.
std::string exchange(int port, const std::string &message);
