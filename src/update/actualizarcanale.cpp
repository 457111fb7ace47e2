#include "actualizarcanale.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

actualizarcanale::actualizarcanale(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setCaption(QStringLiteral("Actualizar listas de canales"));
    auto* layout = new QVBoxLayout(this);
    auto* message =
        new QLabel(QStringLiteral("La actualización de las listas de canales aún no está disponible."), this);
    message->setObjectName(QStringLiteral("Label1"));
    message->setWordWrap(true);
    layout->addWidget(message);
    auto* ok = new QPushButton(QStringLiteral("Aceptar"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, [this] { this->forms().unload(this); });
    setSizeTwips(5400, 1800);
}

void actualizarcanale::Form_Unload() {
    // As after an update, the user chooses again.
    forms().show(QStringLiteral("elegir"));
}
