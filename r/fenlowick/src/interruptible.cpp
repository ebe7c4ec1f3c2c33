#include "interruptible.h"

#include <R_ext/Utils.h>

namespace fenlowick::rpackage {

namespace {

void checkInterrupt(void*) {
    R_CheckUserInterrupt();
}

} // namespace

bool interruptRequested() {
    // R_CheckUserInterrupt jumps out when an interrupt is pending; R_ToplevelExec catches the
    // jump, so that the work can be stopped before R unwinds this call.
    return R_ToplevelExec(checkInterrupt, nullptr) == FALSE;
}

} // namespace fenlowick::rpackage
