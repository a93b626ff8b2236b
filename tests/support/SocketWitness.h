// A witness for "nothing more comes of the sockets": a connected pair of the
// witness's own on 127.0.0.1. Every socket of the process is watched through
// one readiness set, so a byte sent between the pair now is told with or after
// every notification that was already due; Await() runs the message loop
// until the byte has been told and then past the messages posted by then.
// A test that checks that a socket event did not come (a second read, a
// second close) awaits the witness after the event that would have caused it.
#pragma once

#include "platform/Messages.h"
#include "platform/Winsock.h"

class SocketWitness {
public:
    SocketWitness();
    ~SocketWitness();
    SocketWitness(const SocketWitness&) = delete;
    SocketWitness& operator=(const SocketWitness&) = delete;

    // False when the pair could not be made or the byte was not told within
    // the watchdog's time.
    bool Await(int timeoutMs = 5000);

private:
    bool Connect(int timeoutMs);

    winsock::WSADATA data_{};
    bool started_ = false;
    HWND wnd_ = 0;
    winsock::SOCKET listener_ = winsock::INVALID_SOCKET;
    winsock::SOCKET client_ = winsock::INVALID_SOCKET;
    winsock::SOCKET server_ = winsock::INVALID_SOCKET;
    bool accepted_ = false;
    bool connected_ = false;
    int reads_ = 0;
};
