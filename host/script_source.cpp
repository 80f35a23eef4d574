#include "script_source.h"

#include "pump.h"

#include <windows.h>

#include <deque>

namespace host {

namespace {

constexpr DWORD k_wait_ms = 100;

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

class ListScript : public ScriptSource {
  public:
    explicit ListScript(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    bool next(std::string& line) override {
        if (at_ >= lines_.size()) return false;
        line = lines_[at_++];
        return true;
    }

  private:
    std::vector<std::string> lines_;
    size_t at_ = 0;
};

// Shared between the window thread and the reader thread; never freed, since the reader
// may still sit in ReadFile when the program ends.
struct StdinState {
    SRWLOCK lock = SRWLOCK_INIT;
    HANDLE ready = nullptr;
    std::deque<std::string> lines;
    bool finished = false;
};

DWORD WINAPI read_stdin(void* param) noexcept {
    auto* state = static_cast<StdinState*>(param);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char buf[4096];
    for (;;) {
        DWORD got = 0;
        bool ok = in != nullptr && in != INVALID_HANDLE_VALUE &&
                  ReadFile(in, buf, sizeof(buf), &got, nullptr) && got > 0;
        AcquireSRWLockExclusive(&state->lock);
        if (ok) {
            pending.append(buf, got);
            size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                state->lines.push_back(line);
                pending.erase(0, end + 1);
            }
        } else {
            if (!pending.empty()) state->lines.push_back(pending);
            state->finished = true;
        }
        ReleaseSRWLockExclusive(&state->lock);
        SetEvent(state->ready);
        if (!ok) return 0;
    }
}

class StdinScript : public ScriptSource {
  public:
    explicit StdinScript(StdinState* state) : state_(state) {}
    bool next(std::string& line) override {
        for (;;) {
            AcquireSRWLockExclusive(&state_->lock);
            bool have = !state_->lines.empty();
            bool finished = state_->finished;
            if (have) {
                line = state_->lines.front();
                state_->lines.pop_front();
            }
            ReleaseSRWLockExclusive(&state_->lock);
            if (have) return true;
            if (finished) return false;
            pump_until_signalled(state_->ready, k_wait_ms);
        }
    }

  private:
    StdinState* state_;
};

} // namespace

std::unique_ptr<ScriptSource> open_script(const std::string& path) {
    if (path == "-") {
        auto* state = new StdinState;
        state->ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        HANDLE thread = CreateThread(nullptr, 0, read_stdin, state, 0, nullptr);
        if (thread == nullptr) return nullptr;
        CloseHandle(thread);
        return std::make_unique<StdinScript>(state);
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    std::string text;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(file, buf, sizeof(buf), &got, nullptr) && got > 0)
        text.append(buf, got);
    CloseHandle(file);
    return std::make_unique<ListScript>(split_lines(text));
}

std::unique_ptr<ScriptSource> script_from_lines(std::vector<std::string> lines) {
    return std::make_unique<ListScript>(std::move(lines));
}

} // namespace host
