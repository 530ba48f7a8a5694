// The numbers the tray program shares with its resource script and with
// other programs: resource identifiers, menu commands, timers and the
// callback message of the notification icon. Plain macros, because the
// resource compiler reads this header too.
#pragma once

// Strings.
#define ZEPG_STR_TITLE 103       // window title and class name, "zepg"
#define ZEPG_STR_TIP 104         // tooltip before anything is known, "ZEP"
#define ZEPG_STR_MODEL_TITLE 113 // title of the model balloon

// Icon groups: the program's own, then one per display state.
#define ZEPG_ICON_APP 400
#define ZEPG_ICON_INFORMATION 401
#define ZEPG_ICON_CAUTION 402
#define ZEPG_ICON_FAULT 403
#define ZEPG_ICON_NO_COMMUNICATION 404

#define ZEPG_MENU 500

// Menu commands. 300 to 303 exist in the menu only; the start-up removes
// them with the rest of the first eight entries.
#define ZEPG_CMD_INFORMATION 300
#define ZEPG_CMD_CAUTION 301
#define ZEPG_CMD_FAULT 302
#define ZEPG_CMD_COMMUNICATION 303
#define ZEPG_CMD_CLEAR_BALLOON 310
#define ZEPG_CMD_CLOSE 311
#define ZEPG_CMD_OPTIONS 312
#define ZEPG_CMD_TIMER 313
#define ZEPG_CMD_VERSION 314
#define ZEPG_CMD_SYSTEM 315
#define ZEPG_CMD_BATTERY 316
#define ZEPG_CMD_RATED 317

// Window messages and timers.
#define ZEPG_WM_COMMAND 0x0111
#define ZEPG_TRAY_CALLBACK 0x8001  // WM_APP + 1
#define ZEPG_TIMER_POLL 2
#define ZEPG_TIMER_ICON_RETRY 3
#define ZEPG_TIMER_FLASH 1000
#define ZEPG_TIMER_BALLOON 1001
