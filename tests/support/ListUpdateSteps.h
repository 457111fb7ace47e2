// The list update window's first two phases against a real service, on the windows' manual clock:
// the version page and the confirmation page loaded for real, the fixed delays advanced.
#pragma once

#include "base/Forms.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"
#include "support/TestPlatform.h"

#include <QPushButton>

// Takes a shown `ListUpdateWindow` to its "Comenzar actualización" button once the service has
// reported `version` and confirmed it; null when it does not get there.
inline QPushButton* reachListUpdateStart(Forms& forms, ManualClock& clock, const QString& version) {
    auto* current = forms.loadedControl<WebBrowser>("ListUpdateWindow", "numero_ver_canales");
    if (!current || !waitFor([&] { return current->innerText() == version; }, 10000))
        return nullptr;
    clock.advance(4000);
    auto* check = forms.loadedControl<WebBrowser>("ListUpdateWindow", "verificar");
    if (!check || !waitFor([&] { return check->innerText() == "ok"; }, 10000))
        return nullptr;
    clock.advance(5000 + 1500);
    auto* start = forms.loadedControl<QPushButton>("ListUpdateWindow", "startButton");
    return start && start->isEnabled() ? start : nullptr;
}
