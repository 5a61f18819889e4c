// Setting.ini, the installation's fixed choices: its file, section and key names. The
// agent reads them, q5check shows them and the per-machine package writes them.
#pragma once

constexpr char SETTING_INI_FILE[] = "Setting.ini";

// [server]: the box "address" names, a.b.c.d; empty, the first listed.
constexpr char INI_SERVER_SECTION[] = "server";
constexpr char INI_ADDRESS_KEY[] = "address";

// [system]: the bandwidth test's least rate and its transfer size.
constexpr char INI_SYSTEM_SECTION[] = "system";
constexpr char INI_BITRATE_KEY[] = "bitrate";
constexpr char INI_TRANSFER_SIZE_KEY[] = "transfersize";

// [device]: "idnum" entries "id0", "id1", ...
constexpr char INI_DEVICE_SECTION[] = "device";
constexpr char INI_DEVICE_COUNT_KEY[] = "idnum";
constexpr char INI_DEVICE_KEY_FORMAT[] = "id%d";

// [lang]: "num" languages offered in the menu, codes "lang0", "lang1", ...
constexpr char INI_LANG_SECTION[] = "lang";
constexpr char INI_LANG_COUNT_KEY[] = "num";
constexpr char INI_LANG_KEY_FORMAT[] = "lang%d";
