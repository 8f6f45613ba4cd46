#include "compose/engine_state.h"

namespace tunecase {

EngineState engineState;

}  // namespace tunecase
