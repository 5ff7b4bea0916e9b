#include <qmsupport/version.h>

namespace qm {

const char* Version() {
    return QMSUPPORT_VERSION;
}

}  // namespace qm
