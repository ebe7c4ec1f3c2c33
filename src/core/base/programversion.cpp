#include "core/base/programversion.h"

#include "programversiontext.h"

namespace fenlowick {

const char* programVersion() {
    return FENLOWICK_VERSION_TEXT;
}

} // namespace fenlowick
