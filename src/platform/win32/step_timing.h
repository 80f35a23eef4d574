// Step timing, in bench builds only (the windows-steps preset defines ORV_STEP_TIMING): each
// platform call marked with ORV_STEP appends "<unix us at its start> <us it took> <name>" to
// the file named by the environment variable ORV_STEP_LOG, so that the time a call into the
// module takes can be split into the platform's calls and the module's own work. In every
// other build ORV_STEP is nothing.
#pragma once

#ifdef ORV_STEP_TIMING
#include <windows.h>

namespace platform::steps {

class Timer {
  public:
    explicit Timer(const char* name);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

  private:
    const char* name_;
    unsigned long long unixUs_;
    LARGE_INTEGER start_;
};

} // namespace platform::steps

#define ORV_STEP_JOIN2(a, b) a##b
#define ORV_STEP_JOIN(a, b) ORV_STEP_JOIN2(a, b)
#define ORV_STEP(name) const ::platform::steps::Timer ORV_STEP_JOIN(orvStep, __LINE__)(name)
#else
#define ORV_STEP(name) static_cast<void>(0)
#endif
