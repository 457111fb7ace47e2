// actualizarcanale: the channel-list update window. For now it only says that the update is not
// available yet and returns to the chooser when closed.
#pragma once

#include "app/Forms.h"

class actualizarcanale : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "actualizarcanale";
    explicit actualizarcanale(Forms& forms);

    void Form_Unload() override;
};
