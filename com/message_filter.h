#pragma once

// COM on the user-interface thread: a single-threaded apartment, and an OLE message filter that
// asks for a rejected outgoing call to be repeated while the host is busy.

#include <windows.h>

#include <objidl.h>

#include <chrono>

namespace kw::com {

// Joins the thread to a single-threaded apartment unless it already is in one (Qt has called
// OleInitialize on its user-interface thread); leaves it as it found it.
class Apartment {
public:
    Apartment();
    ~Apartment();
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

private:
    bool m_joined = false;
};

// Registers a message filter for the thread's apartment for its own lifetime and puts the
// previous one back afterwards.
class MessageFilterRegistration {
public:
    explicit MessageFilterRegistration(std::chrono::milliseconds limit);
    ~MessageFilterRegistration();
    MessageFilterRegistration(const MessageFilterRegistration&) = delete;
    MessageFilterRegistration& operator=(const MessageFilterRegistration&) = delete;

    bool Registered() const { return m_registered; }

private:
    IMessageFilter* m_previous = nullptr;
    bool m_registered = false;
};

// The filter itself: retry after 250 ms until `limit` has passed since the first rejection.
IMessageFilter* NewBusyMessageFilter(std::chrono::milliseconds limit);

} // namespace kw::com
