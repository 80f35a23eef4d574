// The key list shown by the key-help command and the extended-pause box; stored as
// string resource 101 of the DLL. Also read by the resource script: plain #defines and
// one string literal only. Each line says what its key does (F7 lowers the volume, F8
// raises it); the extended-pause box shows it in a buffer of 512 bytes.
// clang-format off
#define ORV_KEY_LIST_RESOURCE 101
#define ORV_KEY_LIST "<<<< Key List - OrvalinMUGENBGM >>>>\r\nF6 : Mute\r\nF7 : Volume down\r\n\
F8 : Volume up\r\nF9 : Pause / Resume BGM\r\nF11 : Next BGM\r\nBackSpace : Pause(if enabled)\r\n\
Ctrl + X : Cut ID3tag of Current Music\r\n\
Ctrl + R : Allocate new txt file to stages unset bgmusic\r\n\
Ctrl + 5 : Open user fileA1\r\nCtrl + 6 : Open user fileA2\r\nCtrl + H : Show this Key List"
// clang-format on
