#include "compose/compose_context.h"

#include <ctime>

namespace tunecase {

int32_t ClockSeed() { return static_cast<int32_t>(std::time(nullptr)); }

}  // namespace tunecase
