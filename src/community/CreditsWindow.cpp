#include "CreditsWindow.h"

#include "Fade.h"
#include "base/Endpoints.h"
#include "base/Version.h"
#include "platform/Platform.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// The people who took part, one a line, each with a page or a way to reach them.
const char* const kCollaborators =
    "Iratxe Montoya Belda - diseño de iconos - iratxe.montoya.example\n"
    "Baltasar Quiroga Fenoll - pruebas en Windows Vista - bquiroga@correo.example\n"
    "Noelia Carvajal Otxoa - listas de canales de radio - noelia-radio.example\n"
    "Teodoro Llamas Ribó - servidor y base de datos - teollamas.example\n"
    "Maribel Suñer Cantó - tutoriales de la web - maribelsc@correo.example\n"
    "Xurxo Ferreiro Abad - traducción de la ayuda - xurxo.ferreiro.example\n"
    "Candela Ibarra Pujol - canales de televisión locales - candela-tv.example\n"
    "Los usuarios del foro - ideas, avisos de canales caídos y paciencia";

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}
} // namespace

CreditsWindow::CreditsWindow(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), m_programLabel(label(this, "programLabel", {})),
      m_collaboratorsField(new QPlainTextEdit(this)),
      m_closeButton(new QPushButton(QStringLiteral("&Salir"), this)),
      m_fader(new Fader(*this, Fader::Input::Free)) {
    setCaption(QStringLiteral("¿Quienes hacemos Sintonex?"));
    QFont big = m_programLabel->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    m_programLabel->setFont(big);
    m_programLabel->setAlignment(Qt::AlignCenter);
    m_collaboratorsField->setObjectName(QStringLiteral("collaboratorsField"));
    m_collaboratorsField->setReadOnly(true);
    m_collaboratorsField->setPlainText(QString::fromUtf8(kCollaborators));
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    auto* author = label(this, "authorLabel", QStringLiteral("Programado por Ramón Espí Galindo"));
    auto* web = label(this, "webLabel", endpoints().webHostName());
    for (QLabel* l : {author, web}) {
        l->setToolTip(QStringLiteral("Visitar la web"));
        l->setAlignment(Qt::AlignCenter);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_programLabel);
    layout->addWidget(m_collaboratorsField, 1);
    layout->addWidget(author);
    layout->addWidget(web);
    layout->addWidget(m_closeButton, 0, Qt::AlignRight);
    resize(440, 320);

    connect(m_closeButton, &QPushButton::clicked, m_fader, &Fader::fadeOut);
}

void CreditsWindow::Form_Load() {
    m_fader->fadeIn();
    platform().windowSystem->setTopmost(this, true);
    m_programLabel->setText(version::programCaption());
}
