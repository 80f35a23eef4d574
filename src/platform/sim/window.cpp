// The simulated host windows and user interface: recorded message boxes with scripted
// answers (held open on request), window titles, timers, drops, the message hook,
// registered and posted messages, key state, string resource 101, started programs,
// and a recording output module of the host.
#include <cctype>
#include <cstring>

#include "platform/sim/world.h"
#include "platform/window.h"
#include "platform/plugin_abi.h"

using namespace sim::detail;

namespace {
// What a thread did before it posted happens before what the taker does after taking.
const char PostOrder = 0;
} // namespace

namespace platform {

namespace {
// The button that closes a box: the next scripted answer, else Yes or OK.
int CloseBox(unsigned flags) {
    World& w = W();
    if (!w.boxAnswers.empty()) {
        const int answer = w.boxAnswers.front();
        w.boxAnswers.pop_front();
        return answer;
    }
    return (flags & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

// The process-wide table of registered messages: kept for the whole run, as Windows
// keeps them for the session.
std::map<std::string, uint32_t>& RegisteredMessages() {
    static std::map<std::string, uint32_t> table;
    return table;
}
} // namespace

int ShowMessageBox(Hwnd owner, const char* text, const char* caption, unsigned flags) {
    uint64_t releases = 0;
    bool pump = false;
    {
        SIM_LOCK();
        World& w = W();
        Record(std::string("MessageBox ") + (caption ? caption : "") + "|" + (text ? text : ""));
        w.boxes.push_back(
            {owner, text ? text : "", caption ? caption : "", flags, CurrentThread()});
        pump = w.pumpInBoxes && CurrentThread() == w.hookThread;
    }
    // A box's own message loop hands what is queued for the thread to its hook.
    if (pump) sim::DeliverPostedMessages();
    {
        SIM_LOCK();
        World& w = W();
        if (w.holdBoxes && !w.realThreads)
            Error("a box held open with cooperative threads: nothing could close it");
        const bool held = w.holdBoxes && (w.holdGameBoxes || CurrentThread() != w.hookThread);
        if (!held || !w.realThreads) return CloseBox(flags);
        ++w.boxesOpen;
        releases = w.boxReleases;
    }
    // Open: this thread waits for the user, holding nothing of the world.
    WaitUnlocked("a held message box",
                 [releases] { return !W().holdBoxes || W().boxReleases != releases; });
    SIM_LOCK();
    --W().boxesOpen;
    return CloseBox(flags);
}

int ReadWindowTitle(Hwnd window, char* buffer, int size) {
    SIM_LOCK();
    Record("GetWindowText");
    if (size <= 0) return 0;
    auto it = W().titles.find(window);
    const std::string title = it == W().titles.end() ? std::string() : it->second;
    const int n = static_cast<int>(title.size()) < size ? static_cast<int>(title.size()) : size - 1;
    std::memcpy(buffer, title.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

void WriteWindowTitle(Hwnd window, const char* text) {
    SIM_LOCK();
    Record(std::string("SetWindowText ") + text);
    W().titles[window] = text;
    W().titleHistory.push_back(text);
}

void StartWindowTimer(Hwnd window, uintptr_t id, uint32_t periodMs) {
    SIM_LOCK();
    Record("SetTimer " + std::to_string(id) + " " + std::to_string(periodMs));
    W().timers[{window, id}] = periodMs;
}

void StopWindowTimer(Hwnd window, uintptr_t id) {
    SIM_LOCK();
    Record("KillTimer " + std::to_string(id));
    W().timers.erase({window, id});
}

uint32_t RegisterMessage(const char* name) {
    SIM_LOCK();
    if (!name || !*name) { // no atom for an empty name
        Record("RegisterWindowMessage \"\" 0x0");
        W().lastError = 87; // ERROR_INVALID_PARAMETER
        return 0;
    }
    std::string key(name);
    for (char& c : key)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto& table = RegisteredMessages();
    auto it = table.find(key);
    if (it == table.end())
        it = table.emplace(key, 0xC000u + static_cast<uint32_t>(table.size())).first;
    Record(std::string("RegisterWindowMessage ") + name + " " + Hex(it->second));
    return it->second;
}

bool PostToWindow(Hwnd window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Order(&PostOrder); // before the message can be seen
    SIM_LOCK();
    World& w = W();
    Record("PostMessage " + Hex(message) + (w.failPost ? " failed" : ""));
    if (w.failPost) {
        w.lastError = 1816; // ERROR_NOT_ENOUGH_QUOTA: the queue is full
        return false;
    }
    w.posted.push_back({window, message, wParam, lParam, CurrentThread()});
    return true;
}

void ServeSentMessages() {
    SIM_LOCK();
    Record("PeekMessage sent");
    ++W().sentMessageServes[CurrentThread()];
}

void BringWindowToFront(Hwnd) {
    SIM_LOCK();
    Record("BringWindowToFront");
}

void AcceptDroppedFiles(Hwnd window, bool accept) {
    SIM_LOCK();
    Record(std::string("DragAcceptFiles ") + (accept ? "1" : "0"));
    W().dropTargets[window] = accept;
}

uint32_t QueryDroppedFile(uintptr_t drop, uint32_t index, char* name, uint32_t size) {
    SIM_LOCK();
    Record("DragQueryFile " +
           (index == 0xFFFFFFFFu ? std::string("count") : std::to_string(index)));
    Drop* d = nullptr;
    for (const auto& candidate : W().drops)
        if (reinterpret_cast<uintptr_t>(candidate.get()) == drop) d = candidate.get();
    if (!d || d->finished) {
        Error(d ? "DragQueryFile after DragFinish" : "DragQueryFile on an unknown drop");
        return 0;
    }
    if (index == 0xFFFFFFFFu) return static_cast<uint32_t>(d->names.size());
    if (index >= d->names.size()) return 0;
    const std::string& n = d->names[index];
    if (!name) return static_cast<uint32_t>(n.size()); // the length needed
    if (size == 0) return 0;
    const uint32_t copied = n.size() < size ? static_cast<uint32_t>(n.size()) : size - 1;
    std::memcpy(name, n.data(), copied);
    name[copied] = '\0';
    return copied;
}

void FinishDrop(uintptr_t drop) {
    SIM_LOCK();
    Record("DragFinish");
    for (const auto& d : W().drops) {
        if (reinterpret_cast<uintptr_t>(d.get()) != drop) continue;
        if (d->finished) Error("DragFinish twice");
        d->finished = true;
        return;
    }
    Error("DragFinish on an unknown drop");
}

Handle InstallMessageHook(HookProc proc, Instance, uint32_t threadId) {
    SIM_LOCK();
    Record("SetWindowsHookEx " + std::to_string(threadId));
    if (W().failHook) return nullptr;
    KernelObject* hook = NewKernelObject(KernelObject::Kind::Hook);
    hook->proc = proc;
    hook->threadId = threadId;
    W().hookThread = threadId;
    return hook;
}

bool RemoveMessageHook(Handle hook) {
    SIM_LOCK();
    Record(std::string("UnhookWindowsHookEx") + (hook ? "" : " null"));
    if (!hook) {
        W().lastError = 1404; // ERROR_INVALID_HOOK_HANDLE
        return false;
    }
    KernelObject* h = UseKernelObject(hook, KernelObject::Kind::Hook, "UnhookWindowsHookEx");
    if (!h) return false;
    h->open = false;
    return true;
}

intptr_t CallNextHook(Handle, int, uintptr_t, intptr_t) {
    SIM_LOCK();
    ++W().nextHookCalls;
    Record("CallNextHookEx");
    return sim::kNextHookResult;
}

HookMessage ReadHookMessage(intptr_t lParam) {
    SIM_LOCK();
    return *reinterpret_cast<const HookMessage*>(lParam);
}

int16_t GetAsyncKeyState(int virtualKey) {
    SIM_LOCK();
    auto it = W().keysDown.find(virtualKey);
    return it != W().keysDown.end() && it->second ? static_cast<int16_t>(-32768) : 0;
}

int LoadStringResource(Instance, unsigned id, char* buffer, int size) {
    SIM_LOCK();
    Record("LoadString " + std::to_string(id));
    auto it = W().strings.find(id);
    if (it == W().strings.end() || size <= 0) {
        if (size > 0) buffer[0] = '\0';
        return 0;
    }
    const int length = static_cast<int>(it->second.size());
    const int n = length < size ? length : size - 1;
    std::memcpy(buffer, it->second.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

void ShellOpen(Hwnd owner, const char* verb, const char* file, const char* parameters,
               const char* directory, int show) {
    SIM_LOCK();
    Record(std::string("ShellExecute ") + (verb ? verb : "null") + " " + (file ? file : "null") +
           " " + (parameters ? parameters : "null") + " " + (directory ? directory : "null"));
    W().shellCalls.push_back({owner, verb ? verb : "", file ? file : "",
                              parameters ? parameters : "", directory ? directory : "",
                              directory != nullptr, show});
}

} // namespace platform

namespace {

// The module calls these from either thread.
int ORV_CDECL OutPause(int pause) {
    SIM_LOCK();
    Record("out.Pause " + std::to_string(pause));
    return 0;
}
void ORV_CDECL OutClose() {
    SIM_LOCK();
    Record("out.Close");
}
void ORV_CDECL OutSetVolume(int volume) {
    SIM_LOCK();
    Record("out.SetVolume " + std::to_string(volume));
}
void ORV_CDECL OutSetPan(int pan) {
    SIM_LOCK();
    Record("out.SetPan " + std::to_string(pan));
}

} // namespace

namespace sim {

std::vector<Box> Boxes() {
    SIM_LOCK();
    return W().boxes;
}
void AnswerBoxes(std::initializer_list<int> answers) {
    SIM_LOCK();
    for (int a : answers)
        W().boxAnswers.push_back(a);
}
void HoldBoxes(bool hold, bool gameThreadToo) {
    SIM_LOCK();
    W().holdBoxes = hold;
    W().holdGameBoxes = gameThreadToo;
}
void PumpInBoxes(bool on) {
    SIM_LOCK();
    W().pumpInBoxes = on;
}
void ReleaseBoxes() {
    SIM_LOCK();
    ++W().boxReleases;
}
int BoxesOpen() {
    SIM_LOCK();
    return W().boxesOpen;
}

std::vector<PostedMessage> PostedMessages() {
    SIM_LOCK();
    return {W().posted.begin(), W().posted.end()};
}
bool TakePostedMessage(platform::HookMessage* out) {
    PostedMessage m{};
    {
        SIM_LOCK();
        if (W().posted.empty()) return false;
        m = W().posted.front();
        W().posted.pop_front();
    }
    Ordered(&PostOrder);
    *out = {m.window, m.message, m.wParam, m.lParam};
    return true;
}
// A message the hook's own handling of an earlier one took the hook away from (the module
// shut down) goes on to the window without passing a hook, as on Windows.
int DeliverPostedMessages() {
    int n = 0;
    for (platform::HookMessage m{}; TakePostedMessage(&m); ++n)
        if (HooksInstalled() > 0) DeliverToHook(m.window, m.message, m.wParam, m.lParam);
    return n;
}
void FailPostMessage(bool fail) {
    SIM_LOCK();
    W().failPost = fail;
}
int SentMessageServes(uint32_t threadId) {
    SIM_LOCK();
    auto it = W().sentMessageServes.find(threadId);
    return it == W().sentMessageServes.end() ? 0 : it->second;
}

void SetWindowTitle(platform::Hwnd window, std::string_view title) {
    SIM_LOCK();
    W().titles[window] = std::string(title);
}
std::string WindowTitle(platform::Hwnd window) {
    SIM_LOCK();
    auto it = W().titles.find(window);
    return it == W().titles.end() ? std::string() : it->second;
}
std::vector<std::string> TitleHistory() {
    SIM_LOCK();
    return W().titleHistory;
}

bool TimerRunning(platform::Hwnd window, uintptr_t id) {
    SIM_LOCK();
    return W().timers.count({window, id}) != 0;
}
uint32_t TimerPeriod(platform::Hwnd window, uintptr_t id) {
    SIM_LOCK();
    auto it = W().timers.find({window, id});
    return it == W().timers.end() ? 0 : it->second;
}
bool AcceptsDrops(platform::Hwnd window) {
    SIM_LOCK();
    auto it = W().dropTargets.find(window);
    return it != W().dropTargets.end() && it->second;
}

uintptr_t MakeDrop(std::initializer_list<const char*> names) {
    SIM_LOCK();
    W().drops.push_back(std::make_unique<Drop>());
    W().drops.back()->names.assign(names.begin(), names.end());
    return reinterpret_cast<uintptr_t>(W().drops.back().get());
}
uintptr_t MakeDrop(const std::vector<std::string>& names) {
    SIM_LOCK();
    W().drops.push_back(std::make_unique<Drop>());
    W().drops.back()->names = names;
    return reinterpret_cast<uintptr_t>(W().drops.back().get());
}
bool DropFinished(uintptr_t drop) {
    SIM_LOCK();
    for (const auto& d : W().drops)
        if (reinterpret_cast<uintptr_t>(d.get()) == drop) return d->finished;
    return false;
}

platform::HookProc InstalledHook() {
    SIM_LOCK();
    for (auto it = W().kernelObjects.rbegin(); it != W().kernelObjects.rend(); ++it)
        if ((*it)->kind == KernelObject::Kind::Hook && (*it)->open) return (*it)->proc;
    return nullptr;
}
int HooksInstalled() {
    SIM_LOCK();
    int n = 0;
    for (const auto& o : W().kernelObjects)
        n += (o->kind == KernelObject::Kind::Hook && o->open) ? 1 : 0;
    return n;
}
void FailHookInstall(bool fail) {
    SIM_LOCK();
    W().failHook = fail;
}
uint32_t HookThread() {
    SIM_LOCK();
    return W().hookThread;
}
int NextHookCalls() {
    SIM_LOCK();
    return W().nextHookCalls;
}

// The hook runs without the world's lock, as the module's code always does: it may
// wait for the other thread.
intptr_t DeliverToHook(platform::Hwnd window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    platform::HookProc proc = nullptr;
    {
        SIM_LOCK();
        proc = InstalledHook();
        if (!proc) {
            Error("a message was delivered while no hook is installed");
            return 0;
        }
    }
    const platform::HookMessage msg{window, message, wParam, lParam};
    return proc(0, 1, reinterpret_cast<intptr_t>(&msg)); // HC_ACTION, PM_REMOVE
}

intptr_t PressKey(int virtualKey, bool ctrl) {
    bool wasDown = false;
    {
        SIM_LOCK();
        wasDown = W().keysDown[0x11];
        W().keysDown[0x11] = ctrl;
    }
    const intptr_t result =
        DeliverToHook(kGameWindow, platform::kWmKeyDown, static_cast<uintptr_t>(virtualKey), 1);
    SIM_LOCK();
    W().keysDown[0x11] = wasDown;
    return result;
}

void SetKeyDown(int virtualKey, bool down) {
    SIM_LOCK();
    W().keysDown[virtualKey] = down;
}

const std::vector<ShellCall>& ShellCalls() {
    SIM_LOCK();
    return W().shellCalls;
}
const std::vector<std::pair<std::string, unsigned>>& Sounds() {
    SIM_LOCK();
    return W().sounds;
}

void SetStringResource(unsigned id, const char* text) {
    SIM_LOCK();
    W().strings[id] = text;
}

Out_Module* OutModule() {
    SIM_LOCK();
    static Out_Module out;
    out = Out_Module{};
    out.version = 0x10;
    out.Pause = OutPause;
    out.Close = OutClose;
    out.SetVolume = OutSetVolume;
    out.SetPan = OutSetPan;
    return &out;
}

std::vector<std::string> OutModCalls() {
    SIM_LOCK();
    std::vector<std::string> out;
    for (const auto& line : W().log)
        if (line.rfind("out.", 0) == 0) out.push_back(line);
    return out;
}

} // namespace sim
