#pragma once
// Shared by the libFuzzer harnesses: a silent message sink and a check that stops the run.

#include "capture/MessageSink.h"

#include <cstdio>
#include <cstdlib>

namespace duolo::fuzz {

// The model's notes (the save's "-1 root" and the like) would flood the fuzzer's output.
class SilentSink : public MessageSink {
public:
    SilentSink() { setMessageSink(this); }
    void showMessage(const std::string&) override {}
};

// A broken promise of the code under test: reported as a crash, so the fuzzer keeps the input.
inline void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

} // namespace duolo::fuzz
