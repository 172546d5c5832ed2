// The colours the window draws with itself, as COLORREF values (0x00BBGGRR).
#pragma once

enum : unsigned long {
    kStatusTextColour = 0xAAAAAA,  // status line text
    kDarkColour = 0x191919,        // status line text background, progress bar fill
};
