// Plain types and constants shared by the logic and both platform back-ends.
// The logic never sees windows.h: handles are opaque pointers, status codes int32_t.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

using Hwnd = void*;     // a window
using Handle = void*;   // a kernel object, hook, search or snapshot; null when invalid
using Instance = void*; // a module instance
using ComPtr = void*;   // a COM interface pointer owned by the caller
using HResult = int32_t;

constexpr HResult kSOk = 0;
constexpr HResult kSFalse = 1;
constexpr HResult kErrFileNotFound = static_cast<HResult>(0x80070002u);
constexpr HResult kVfwStateIntermediate = 0x00040237;
constexpr HResult kRpcChangedMode = static_cast<HResult>(0x80010106u);
constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
constexpr HResult kEUnexpected = static_cast<HResult>(0x8000FFFFu);
constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
constexpr HResult kEFail = static_cast<HResult>(0x80004005u);

// Message boxes.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbSetForeground = 0x00010000;
constexpr unsigned kMbTopmost = 0x00040000;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Window messages the module reacts to or sends.
constexpr uint32_t kWmKeyDown = 0x0100;
constexpr uint32_t kWmTimer = 0x0113;
constexpr uint32_t kWmDropFiles = 0x0233;
constexpr uint32_t kWmGraphNotify = 0x0405;
constexpr uint32_t kWmBringToFront = 0x0417;
constexpr uint32_t kWmSleepRequest = 0x0485;
constexpr uint32_t kWmExPauseDone = 0x0492;

// Last-error codes.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorAlreadyExists = 183;

// A WH_GETMESSAGE hook's wParam: the message is being removed from the queue.
constexpr uintptr_t kPmRemove = 1;

// PlaySound flags.
constexpr unsigned kSndAsync = 0x0001;
constexpr unsigned kSndLoop = 0x0008;
constexpr unsigned kSndFilename = 0x20000;

// Ways to show a started program.
constexpr int kSwShowNormal = 1;

// Longest name a directory search or process entry returns, terminator included.
constexpr size_t kMaxPath = 260;

} // namespace platform
