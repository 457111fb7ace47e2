#include "Module2.h"

#include "app/Forms.h"
#include "platform/Platform.h"

#include <QAbstractSlider>

int AplicaTransparencia(QWidget* window, int alpha) {
    if (alpha > 255)
        return 1;
    auto* form = window ? qobject_cast<Form*>(window->window()) : nullptr;
    if (!form || alpha < 0 || !form->platform().windowSystem)
        return 2;
    form->platform().windowSystem->setOpacity(form, alpha);
    return 0;
}

bool setScrollValue(QAbstractSlider& bar, int value) {
    if (value < bar.minimum() || value > bar.maximum())
        return false;
    bar.setValue(value);
    return true;
}
