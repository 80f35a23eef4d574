#include "outmod.h"

#include "log.h"

#include <cstdint>
#include <string>

namespace host {

namespace {

int g_paused = 0;
char g_description[] = "Stand-in output";

void note(const char* name) {
    log_event(std::string("outmod ") + name);
}

void note(const char* name, long long value) {
    log_event(std::string("outmod ") + name + " " + std::to_string(value));
}

void __cdecl out_config(HWND parent) {
    log_event(std::string("outmod Config ") + hex(reinterpret_cast<uintptr_t>(parent)));
}
void __cdecl out_about(HWND parent) {
    log_event(std::string("outmod About ") + hex(reinterpret_cast<uintptr_t>(parent)));
}
void __cdecl out_init() {
    note("Init");
}
void __cdecl out_quit() {
    note("Quit");
}
int __cdecl out_open(int sample_rate, int channels, int bits, int buffer_ms, int prebuffer_ms) {
    log_event("outmod Open " + std::to_string(sample_rate) + " " + std::to_string(channels) + " " +
              std::to_string(bits) + " " + std::to_string(buffer_ms) + " " +
              std::to_string(prebuffer_ms));
    return 0;
}
void __cdecl out_close() {
    note("Close");
}
int __cdecl out_write(char*, int len) {
    note("Write", len);
    return 0;
}
int __cdecl out_can_write() {
    note("CanWrite");
    return 0;
}
int __cdecl out_is_playing() {
    note("IsPlaying");
    return 0;
}
int __cdecl out_pause(int pause) {
    note("Pause", pause);
    int was = g_paused;
    g_paused = pause;
    return was;
}
void __cdecl out_set_volume(int volume) {
    note("SetVolume", volume);
}
void __cdecl out_set_pan(int pan) {
    note("SetPan", pan);
}
void __cdecl out_flush(int ms) {
    note("Flush", ms);
}
int __cdecl out_get_output_time() {
    note("GetOutputTime");
    return 0;
}
int __cdecl out_get_written_time() {
    note("GetWrittenTime");
    return 0;
}

OutModule g_record = {
    0x10,
    g_description,
    0,
    nullptr,
    nullptr,
    out_config,
    out_about,
    out_init,
    out_quit,
    out_open,
    out_close,
    out_write,
    out_can_write,
    out_is_playing,
    out_pause,
    out_set_volume,
    out_set_pan,
    out_flush,
    out_get_output_time,
    out_get_written_time,
};

} // namespace

OutModule* output_module(HWND window, HINSTANCE instance) {
    g_record.hMainWindow = window;
    g_record.hDllInstance = instance;
    return &g_record;
}

} // namespace host
