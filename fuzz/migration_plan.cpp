// Any text as a migration plan: read or refused, never a crash; a plan that was read is written
// and read back to the same plan.

#include "install/plan.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qm::install;
    Plan plan;
    try {
        plan = ParsePlan(std::string(reinterpret_cast<const char*>(data), size), "fuzz.plan");
    } catch (const Failure&) {
        return 0;
    }
    const Plan again = ParsePlan(plan.Text(MigrationReport()), "again.plan");
    if (again.Fingerprint() != plan.Fingerprint() || again.files != plan.files) {
        std::abort();
    }
    return 0;
}
