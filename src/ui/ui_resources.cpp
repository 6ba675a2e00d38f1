#include "ui/ui_resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void RegisterDrossgateResources() {
    Q_INIT_RESOURCE(drossgate);
}

void InitUiResources() {
    static const bool registered = (RegisterDrossgateResources(), true);
    (void)registered;
}
