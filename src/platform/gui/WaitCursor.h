#pragma once

#include "platform/BusyCursor.h"

// The real hourglass: the application's override cursor.
class WaitCursor : public BusyCursor
{
public:
    void show() override;
    void restore() override;
};
