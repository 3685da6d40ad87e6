#pragma once
// Records which SDK operations were called, one character per call, and hands the codes out with the
// next hit ("&_u"). The sequence is process-wide and guarded by one lock.
#include <string>
#include <string_view>

class RUVUsageTracker {
  public:
    // Codes by selector name ("send:" → 'L'); selectors not in the table record nothing.
    static void trackAction(std::string_view selector);
    static void trackTarget(const void* target, std::string_view selector);
    // Takes the sequence: "." and the codes recorded since the last take, or "" when there are none.
    static std::string getUsageSequence();
    // The code for a selector, or 0 when it has none.
    static char codeForSelector(std::string_view selector);

    // The instance form of trackAction (each tracker owns one); C++ keeps a static and a member function of
    // the same parameters apart only by name. It records into the same process-wide sequence.
    void trackActionOnInstance(std::string_view selector) const { trackTarget(this, selector); }
};
