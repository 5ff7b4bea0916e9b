#include <qmsupport/setup/tarvio_guids.h>

#include <cstdio>
#include <cstdlib>

namespace {
QMTarvioGuids* g_current = nullptr;
}  // namespace

QMTarvioGuids::QMTarvioGuids() {
    g_current = this;
    load();
}

QMTarvioGuids::QMTarvioGuids(const QMTarvioGuids& other) = default;

QMTarvioGuids::~QMTarvioGuids() {
    if (g_current == this) {
        g_current = nullptr;
    }
}

QMTarvioGuids& QMTarvioGuids::operator=(const QMTarvioGuids& other) = default;

QMTarvioGuids& QMTarvioGuids::get() {
    if (!g_current) {
        std::fputs("QMTarvioGuids::get() called with no current instance\n", stderr);
        std::abort();
    }
    return *g_current;
}

bool QMTarvioGuids::hasInstance() {
    return g_current != nullptr;
}

bool QMTarvioGuids::load() {
    for (QMGUID* guid : {&stylesGuid_, &imagesGuid_, &discriminatorsGuid_,
                         &calculatedVariablesGuid_, &eventsCalendarsGuid_, &eventsGuid_,
                         &preferencesGuid_, &authoritationGuid_, &commSystemGuid_}) {
        NewGUID(*guid);
    }
    return true;
}
