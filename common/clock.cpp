#include "clock.h"

namespace kelmar {

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
}

} // namespace kelmar
