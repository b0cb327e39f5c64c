// The 100 ms tick and the five key producers. They only count and set
// flags; the main loop and the screens do the work in their next pass.
//
// One key is pending at a time: a key that arrives while KeyCode is not 0 is
// dropped (the older one wins), but every click, dropped or not, reloads the
// 30-second inactivity countdown.
#include "Runtime.h"

void Timer1Timer(void) {
    if (StopwatchRunning == 1) StopwatchTenths++;
    if (TimerRunning == 1 && TimerRemainingTenths > 0) TimerRemainingTenths--;

    // The flash phase flips on every 6th tick: 600 ms lit, 600 ms dark.
    u8 flash = FlashDivider;
    FlashDivider++;
    if (flash > 4) {
        FlashDivider = 0;
        FlashPhase = FlashPhase != 0 ? 0 : 1;
    }

    // The instrument's second is every 10th tick, not the host clock's second.
    u8 tick = TickDivider;
    TickDivider++;
    if (tick >= 9) {
        TickDivider = 0;
        SecondElapsed = 1;
        if (InactivitySeconds > 0) InactivitySeconds--;
    }
}

void PostKey(u8 code) {
    if (KeyCode == KEY_NONE) KeyCode = code;
    InactivitySeconds = INACTIVITY_RELOAD;
}

void Image5Click(void) { PostKey(KEY_MENU); }
void Button3Click(void) { PostKey(KEY_CW); }
void Button4Click(void) { PostKey(KEY_CCW); }
void Image3Click(void) { PostKey(KEY_LEFT); }
void Image6Click(void) { PostKey(KEY_RIGHT); }

void ClickKey(u8 code) {
    switch (code) {
        case KEY_MENU:
            Image5Click();
            break;
        case KEY_CW:
            Button3Click();
            break;
        case KEY_CCW:
            Button4Click();
            break;
        case KEY_LEFT:
            Image3Click();
            break;
        case KEY_RIGHT:
            Image6Click();
            break;
    }
}
