#include "WindowOpacity.h"

#include "base/Forms.h"
#include "platform/Platform.h"

#include <QAbstractSlider>

int applyOpacity(Platform& platform, QWidget* window, int alpha) {
    if (alpha < 0 || alpha > 255)
        return opacity::kOutOfRange;
    if (!window || !platform.windowSystem)
        return opacity::kFailed;
    platform.windowSystem->setOpacity(window->window(), alpha);
    return opacity::kApplied;
}

int applyOpacity(QWidget* window, int alpha) {
    if (alpha < 0 || alpha > 255)
        return opacity::kOutOfRange;
    auto* form = window ? qobject_cast<Form*>(window->window()) : nullptr;
    if (!form)
        return opacity::kFailed;
    return applyOpacity(form->platform(), form, alpha);
}

bool setScrollValue(QAbstractSlider& bar, int value) {
    if (value < bar.minimum() || value > bar.maximum())
        return false;
    bar.setValue(value);
    return true;
}
