#include "platform/StateChecks.h"

#include <string>

void StepRefused(const char* machine, const char* from, const char* to, const char* file, int line)
{
    const std::string text = std::string(machine) + ": no step from " + from + " to " + to;
    AssertionFailed(text.c_str(), file, line);
}
