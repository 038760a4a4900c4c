#include "terminal/commevents.h"

#include "res/resource.h"

namespace terminal {
namespace {

constexpr CommEventText kEventTexts[] = {
    {1, IDS_EVENT_SEND, false},       {2, IDS_EVENT_RECEIVE, false},
    {3, IDS_EVENT_CTS, false},        {4, IDS_EVENT_DSR, false},
    {5, IDS_EVENT_CD, false},         {6, IDS_EVENT_RING, false},
    {7, IDS_EVENT_EOF, false},        {1001, IDS_ERROR_BREAK, true},
    {1002, IDS_ERROR_CTSTO, true},    {1003, IDS_ERROR_DSRTO, true},
    {1004, IDS_ERROR_FRAME, true},    {1006, IDS_ERROR_OVERRUN, true},
    {1007, IDS_ERROR_CDTO, true},     {1008, IDS_ERROR_RXOVER, true},
    {1009, IDS_ERROR_RXPARITY, true}, {1010, IDS_ERROR_TXFULL, true},
};

} // namespace

const CommEventText* FindEventText(short code) {
    for (const auto& entry : kEventTexts)
        if (entry.code == code) return &entry;
    return nullptr;
}

} // namespace terminal
