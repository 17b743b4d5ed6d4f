// What a background archive job (extraction, packing) reports its progress to and asks whether to
// stop. On Windows it is the job's progress window; the command-line tool and the tests use their own.
#pragma once

#include <cstdint>

namespace archive {

class JobProgress {
  public:
    virtual ~JobProgress() = default;
    // The bar runs from 0 to `steps`.
    virtual void SetRange(uint32_t steps) = 0;
    virtual void Step() = 0;
    // Whether the user asked to stop; also where a window-backed progress handles its messages, so
    // jobs ask between items.
    virtual bool Cancelled() = 0;
};

// Reports nowhere and never stops.
class SilentProgress : public JobProgress {
  public:
    void SetRange(uint32_t) override {}
    void Step() override {}
    bool Cancelled() override { return false; }
};

} // namespace archive
