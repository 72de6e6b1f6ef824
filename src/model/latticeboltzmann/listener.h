#pragma once

// An object that follows the grid. Codes: 1 after every stepping call, 2 after
// a reset of all cells, 3 at the start of a resize.
class Listener
{
public:
    virtual ~Listener() = default;
    virtual void notify(int code) = 0;
};
