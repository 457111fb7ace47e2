#include "BackgroundChooser.h"

#include "Fade.h"
#include "base/Endpoints.h"
#include "base/Settings.h"
#include "platform/Platform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QString kSection = QStringLiteral("config");
const QString kKey = QStringLiteral("fondo");

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(true);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
} // namespace

const QString BackgroundChooser::kFilter =
    QStringLiteral("Imágenes JPG (*.jpg);;Imágenes JPGE (*.jpge);;Imágenes BMP (*.bmp)");

BackgroundChooser::BackgroundChooser(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), m_text1(new QLineEdit(this)), m_text2(new QLineEdit(this)),
      m_image1(new QLabel(this)), m_command1(button(this, "Command1", QStringLiteral("Buscar"))),
      m_command2(button(this, "Command2", QStringLiteral("Aplicar fondo"))),
      m_command3(button(this, "Command3", QStringLiteral("Eliminar"))),
      m_command4(button(this, "Command4", QStringLiteral("Ayuda Online"))),
      m_command5(button(this, "Command5", QStringLiteral("x"))),
      m_fader(new Fader(*this, Fader::Input::LockedWhileFading)) {
    setCaption(QStringLiteral("Cambiar fondo a Sintonex"));
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setReadOnly(true);
    m_text1->setToolTip(QStringLiteral("Ruta de la imagen"));
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setText(QStringLiteral("C:\\"));
    m_text2->hide();
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setFixedSize(160, 120);
    m_image1->setScaledContents(true);
    m_image1->setFrameShape(QFrame::StyledPanel);
    m_command5->setFixedWidth(m_command5->sizeHint().height());

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_command5, 0, 2, Qt::AlignRight);
    grid->addWidget(
        label(this, "Label2",
              QStringLiteral("Para cambiar el fondo de la aplicación pulsa en \"buscar\" y localiza la "
                             "imagen deseada en tu disco duro o a través de una URL. (Es "
                             "recomendable que la imágen no supere 2 MB)")),
        1, 0, 1, 3);
    auto* path = new QHBoxLayout;
    path->addWidget(label(this, "Label1", QStringLiteral("Ruta:")));
    path->addWidget(m_text1, 1);
    path->addWidget(m_command1);
    grid->addLayout(path, 2, 0, 1, 3);
    grid->addWidget(m_image1, 3, 0, 3, 1);
    grid->addWidget(m_command2, 3, 1, 1, 2);
    grid->addWidget(m_command3, 4, 1, 1, 2);
    grid->addWidget(m_command4, 5, 1, 1, 2);
    grid->addWidget(
        label(this, "Label3",
              QStringLiteral("Si deseas volver al fondo predeterminado de Sintonex pulsa la tecla "
                             "\"Eliminar\". Cuando se reinicie la aplicación volverá al estado "
                             "principal.")),
        6, 0, 1, 3);
    resize(420, 330);

    connect(m_command1, &QPushButton::clicked, this, &BackgroundChooser::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &BackgroundChooser::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &BackgroundChooser::Command3_Click);
    connect(m_command4, &QPushButton::clicked, this, &BackgroundChooser::Command4_Click);
    connect(m_command5, &QPushButton::clicked, this, &BackgroundChooser::Command5_Click);
}

QPixmap BackgroundChooser::loadPicture(const QString& path) {
    if (path.isEmpty())
        return {};
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QPixmap BackgroundChooser::storedPicture(const Settings& settings) {
    const QString stored = settings.read(kSection, kKey);
    return stored == QLatin1String("error") ? QPixmap() : loadPicture(stored);
}

void BackgroundChooser::Form_Load() {
    m_fader->fadeIn();
    const QString stored = settings().read(kSection, kKey);
    // A missing setting shows an empty path, not the settings' "error" marker.
    m_text1->setText(stored == QLatin1String("error") ? QString() : stored);
    showPreview();
}

void BackgroundChooser::showPreview() {
    const QPixmap picture = loadPicture(m_text1->text());
    if (picture.isNull())
        m_image1->clear();
    else
        m_image1->setPixmap(picture);
}

void BackgroundChooser::Command1_Click() {
    const QString chosen = platform().dialogs->openFile(this, kFilter);
    if (!chosen.isEmpty())
        m_text1->setText(chosen);
    showPreview();
}

void BackgroundChooser::Command2_Click() {
    m_fader->fadeOut();
    settings().write(kSection, kKey, m_text1->text());
    // Only windows that are open take the picture now: loading a player window just to change its
    // background would leave it running unseen. The others read the setting when they load.
    for (const char* window : {"TvWindow", "RadioWindow", "ChooserWindow"}) {
        QLabel* image =
            forms().loadedControl<QLabel>(QString::fromLatin1(window), QStringLiteral("backgroundPicture"));
        const QPixmap picture = storedPicture(settings());
        if (image && !picture.isNull())
            image->setPixmap(picture);
    }
}

void BackgroundChooser::Command3_Click() {
    settings().write(kSection, kKey, m_text2->text());
    platform().dialogs->MsgBox(QStringLiteral("El fondo se reestablecerá cuando se reinicie el programa"));
    m_fader->fadeOut();
}

void BackgroundChooser::Command4_Click() {
    platform().shell->open(endpoints().skinsHelp());
}

void BackgroundChooser::Command5_Click() {
    m_fader->fadeOut();
}
