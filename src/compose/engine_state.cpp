#include "compose/engine_state.h"

namespace tunecase {

EngineState engineState;

namespace {

std::recursive_mutex& engineMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

}  // namespace

EngineRun::EngineRun() : lock_(engineMutex()) {}

}  // namespace tunecase
