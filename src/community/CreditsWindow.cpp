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
    : Form(forms, QString::fromLatin1(kName)), m_label1(label(this, "Label1", {})),
      m_text1(new QPlainTextEdit(this)), m_command1(new QPushButton(QStringLiteral("&Salir"), this)),
      m_fader(new Fader(*this, Fader::Input::Free)) {
    setCaption(QStringLiteral("¿Quienes hacemos Sintonex?"));
    QFont big = m_label1->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    m_label1->setFont(big);
    m_label1->setAlignment(Qt::AlignCenter);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setReadOnly(true);
    m_text1->setPlainText(QString::fromUtf8(kCollaborators));
    m_command1->setObjectName(QStringLiteral("Command1"));
    auto* label7 = label(this, "Label7", QStringLiteral("Programado por Ramón Espí Galindo"));
    auto* label9 = label(this, "Label9", endpoints().webHostName());
    for (QLabel* l : {label7, label9}) {
        l->setToolTip(QStringLiteral("Visitar la web"));
        l->setAlignment(Qt::AlignCenter);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label1);
    layout->addWidget(m_text1, 1);
    layout->addWidget(label7);
    layout->addWidget(label9);
    layout->addWidget(m_command1, 0, Qt::AlignRight);
    resize(440, 320);

    connect(m_command1, &QPushButton::clicked, m_fader, &Fader::fadeOut);
}

void CreditsWindow::Form_Load() {
    m_fader->fadeIn();
    platform().windowSystem->setTopmost(this, true);
    m_label1->setText(version::programCaption());
}
