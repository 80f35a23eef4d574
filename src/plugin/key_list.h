// The key list shown by the key-help command and the extended-pause box; stored as
// string resource 101 of the DLL. Also read by the resource script, so plain #defines only.
#define ORV_KEY_LIST_RESOURCE 101
#define ORV_KEY_LIST                                                                           \
    "<<<< Key List - OrvalinMUGENBGM >>>>\r\nF6 : Mute\r\nF7 : Volume up\r\nF8 : Volume "     \
    "down\r\nF11 : Next BGM\r\nBackSpace : Pause(if enabled)\r\nCtrl + X : Cut ID3tag of "    \
    "Current Music\r\nCtrl + R : Allocate new txt file to stages unset bgmusic\r\nCtrl + 5 : " \
    "Open user fileA1\r\nCtrl + 6 : Open user fileA2"
