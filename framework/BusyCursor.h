#pragma once
// Shows the wait cursor for as long as it lives: handlers that wait on the server hold one, so the
// operator sees that the window is busy rather than hung.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};
